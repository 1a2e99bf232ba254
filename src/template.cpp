#include "template.h"

#include <cstdint>

namespace murex {

std::string fillNamed(std::string_view pattern, NamedValues values) {
  const int64_t n = std::ssize(pattern);
  std::string out;
  out.reserve(pattern.size() + 64);
  for (int64_t i = 0; i < n; ++i) {
    if (pattern[i] != '$') {
      out.push_back(pattern[i]);
      continue;
    }
    const std::string_view rest = pattern.substr(i + 1);
    const std::pair<std::string_view, std::string_view>* best = nullptr;
    for (const auto& v : values)
      if (!v.first.empty() && rest.starts_with(v.first) &&
          (best == nullptr || v.first.size() > best->first.size()))
        best = &v;
    if (best == nullptr) {
      out.push_back('$');
    } else {
      out.append(best->second);
      i += std::ssize(best->first);
    }
  }
  return out;
}

}  // namespace murex
