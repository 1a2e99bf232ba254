#include "json.h"

#include <cstdint>

namespace murex {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

}  // namespace

size_t utf8Length(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = 0;
  uint32_t cp = 0;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (d & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
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
    const size_t n = utf8Length(s, i);
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
