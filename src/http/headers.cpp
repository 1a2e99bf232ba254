#include "http/headers.h"

namespace murex::http {

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string lowerCopy(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = lowerAscii(c);
  return r;
}

bool equalsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

const std::string* Headers::find(std::string_view key) const {
  for (const auto& [k, v] : entries)
    if (equalsFolded(k, key)) return &v;
  return nullptr;
}

std::vector<std::string_view> Headers::values(std::string_view key) const {
  std::vector<std::string_view> out;
  const std::string* value = find(key);
  if (!value || value->empty()) return out;
  if (equalsFolded(key, "cookie")) return {*value};
  anyPart(*value, [&out](std::string_view v) {
    out.push_back(v);
    return false;
  });
  return out;
}

void Headers::set(std::string_view key, std::string value) {
  std::string k = lowerCopy(key);
  for (auto& e : entries) {
    if (e.first == k) {
      e.second = std::move(value);
      return;
    }
  }
  entries.emplace_back(std::move(k), std::move(value));
}

bool Headers::hasValue(std::string_view key, std::string_view word) const {
  const std::string* value = find(key);
  if (!value) return false;
  if (equalsFolded(key, "cookie")) return equalsFolded(*value, word);
  return anyPart(*value, [word](std::string_view v) { return equalsFolded(v, word); });
}

}  // namespace murex::http
