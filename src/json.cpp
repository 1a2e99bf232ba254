#include "json.h"

#include <cstdint>

#include "unicode.h"

namespace murex {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

}  // namespace

size_t utf8Length(std::string_view s, size_t i) {
  const Utf8Step step = decodeUtf8(s, static_cast<int64_t>(i));
  return step.valid ? static_cast<size_t>(step.len) : 0;
}

void appendWellFormed(std::string& out, std::string_view s) {
  size_t plain = 0;  // start of the run of bytes still to copy
  for (size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const size_t n = utf8Length(s, i);
    if (n > 0) {
      i += n;
      continue;
    }
    out.append(s.substr(plain, i - plain)).append(replacement);
    plain = ++i;
  }
  out.append(s.substr(plain));
}

void appendJsonString(std::string& out, std::string_view s) {
  static constexpr char hex[] = "0123456789abcdef";
  out += '"';
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : utf8Length(s, i);
    if (n == 0) {
      out += replacement;
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out.append(s.substr(i, n));
    }
    i += n;
  }
  out += '"';
}

std::string jsonString(std::string_view s) {
  std::string out;
  appendJsonString(out, s);
  return out;
}

}  // namespace murex
