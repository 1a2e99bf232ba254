#include "pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace murex {

void mapPages(const void* from, const void* to) {
  const uintptr_t page = 4096;
  const auto begin = reinterpret_cast<uintptr_t>(from) & ~(page - 1);
  const auto end = reinterpret_cast<uintptr_t>(to);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

void appendMapped(std::string& text, std::string_view part) {
  constexpr size_t stretch = size_t(1) << 21;
  const size_t size = text.size();
  if (size == 0 || size / stretch != (size + part.size()) / stretch) {
    const size_t from = (size + part.size()) / stretch * stretch;
    const size_t to = std::min(text.capacity(), from + stretch);
    if (to > from) mapPages(text.data() + from, text.data() + to);
  }
  text.append(part);
}

}  // namespace murex
