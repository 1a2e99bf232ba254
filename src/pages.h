// pages: the memory of lists that grow to millions of items, mapped a stretch ahead of
// their use. One call maps thousands of pages where touching them one by one costs a trap
// each: a large ledger's parse took six times as many traps, and most of its system time,
// without it.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace murex {

// Maps the pages from from to to for writing; where the system cannot, they come one by one.
void mapPages(const void* from, const void* to);

// The next items of the room the list has taken already: nothing is allocated beyond it.
template <typename T>
void mapAhead(std::vector<T>& list, size_t items) {
  const size_t from = list.size();
  const size_t to = std::min(list.capacity(), from + items);
  if (to > from) mapPages(list.data() + from, list.data() + to);
}

// Called before each item is added: every so many items, the next stretch.
template <typename T>
void mapAheadEvery(std::vector<T>& list) {
  constexpr size_t stretch = std::bit_floor((size_t(1) << 21) / sizeof(T));  // no division
  if (list.size() % stretch == 0) mapAhead(list, stretch);
}

// Appends part to a text that grows a few bytes at a time, mapping its room the same way.
void appendMapped(std::string& text, std::string_view part);

}  // namespace murex
