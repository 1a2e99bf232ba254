#include "json.h"

#include <cstdint>

#include "unicode.h"

namespace murex {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

}  // namespace

void appendWellFormed(std::string& out, std::string_view s) {
  const int64_t n = std::ssize(s);
  int64_t plain = 0;  // start of the run of bytes still to copy
  for (int64_t i = 0; i < n;) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const Utf8Step step = decodeUtf8(s, i);
    if (!step.valid) {
      out.append(s.substr(plain, i - plain)).append(replacement);
      plain = i + 1;
    }
    i += step.len;
  }
  out.append(s.substr(plain));
}

void appendJsonString(std::string& out, std::string_view s) {
  static constexpr char hex[] = "0123456789abcdef";
  out += '"';
  const int64_t n = std::ssize(s);
  for (int64_t i = 0; i < n;) {
    const Utf8Step step = decodeUtf8(s, i);
    if (!step.valid) {
      out += replacement;
    } else if (step.cp == '"' || step.cp == '\\') {
      out += '\\';
      out += static_cast<char>(step.cp);
    } else if (step.cp < 0x20) {
      out += "\\u00";
      out += hex[step.cp >> 4];
      out += hex[step.cp & 15];
    } else {
      out.append(s.substr(i, step.len));
    }
    i += step.len;
  }
  out += '"';
}

std::string jsonString(std::string_view s) {
  std::string out;
  appendJsonString(out, s);
  return out;
}

}  // namespace murex
