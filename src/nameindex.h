// nameindex: names to positions, the parse's lookup of account, kind and account words.
// Open addressing in a power-of-two table at most half full: the library map's modulo and
// node hops cost more, and a large ledger looks a name up on every split line.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace murex {

class NameIndex {
 public:
  // The position stored for name, or nullptr.
  const int64_t* find(std::string_view name) const { return find(name, hash(name)); }
  // The same, with the name's hash known.
  const int64_t* find(std::string_view name, size_t nameHash) const {
    if (entries.empty()) return nullptr;
    const size_t mask = entries.size() - 1;
    for (size_t i = nameHash & mask;; i = (i + 1) & mask) {
      const Entry& e = entries[i];
      if (e.pos < 0) return nullptr;
      if (sameName(e.name, name)) return &e.pos;
    }
  }
  // name must not be there yet.
  void insert(std::string_view name, int64_t pos) {
    assert(find(name) == nullptr && pos >= 0);
    if ((count + 1) * 2 > entries.size()) {
      std::vector<Entry> old(std::max<size_t>(16, entries.size() * 2));
      old.swap(entries);
      for (Entry& e : old)
        if (e.pos >= 0) place(std::move(e.name), e.pos);
    }
    place(std::string(name), pos);
    ++count;
  }

  // Names are a few bytes long: compared and hashed eight at a time, inline, rather than by
  // a call; the last eight bytes of a longer name are read once more, overlapping.
  static uint64_t eight(const char* p) {
    uint64_t w = 0;
    std::memcpy(&w, p, 8);
    return w;
  }
  static bool sameName(std::string_view a, std::string_view b) {
    const size_t n = a.size();
    if (n != b.size()) return false;
    if (n < 8) return a == b;
    for (size_t i = 0; i + 8 < n; i += 8)
      if (eight(a.data() + i) != eight(b.data() + i)) return false;
    return eight(a.data() + n - 8) == eight(b.data() + n - 8);
  }
  // Eight bytes per multiply: a byte-wise hash was a tenth of the parse.
  static uint32_t hash(std::string_view s) {
    constexpr uint64_t mul = 0xff51afd7ed558ccdull;
    const size_t n = s.size();
    uint64_t h = uint64_t(n) * 0x9e3779b97f4a7c15ull;
    const auto mix = [&h](uint64_t w) {
      h = (h ^ w) * mul;
      h ^= h >> 32;
    };
    if (n < 8) {
      uint64_t w = 0;
      for (size_t k = 0; k < n; ++k) w |= uint64_t(uint8_t(s[k])) << (8 * k);
      mix(w);
    } else {
      for (size_t i = 0; i + 8 < n; i += 8) mix(eight(s.data() + i));
      mix(eight(s.data() + n - 8));
    }
    // Names that differ only in their last byte ("Bank1", "Bank2") differ in the top bits of
    // the last product: the final mix brings those down to the bits a table looks at.
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    return uint32_t(h ^ (h >> 33));
  }

 private:
  // The index owns its keys: the text they come from may be gone by the next lookup.
  struct Entry {
    std::string name;
    int64_t pos = -1;
  };
  void place(std::string&& name, int64_t pos) {
    const size_t mask = entries.size() - 1;
    size_t i = hash(name) & mask;
    while (entries[i].pos >= 0) i = (i + 1) & mask;
    entries[i] = {.name = std::move(name), .pos = pos};
  }
  std::vector<Entry> entries;
  size_t count = 0;
};

}  // namespace murex
