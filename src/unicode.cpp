#include "unicode.h"

#include <algorithm>
#include <iterator>

namespace murex {

Utf8Step decodeUtf8(std::string_view s, int64_t i) {
  const int64_t n = std::ssize(s);
  const auto byte = [&](int64_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) return Utf8Step{.cp = b0, .len = 1, .valid = true};
  int64_t len = 0;
  char32_t cp = 0;
  char32_t minCp = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1F, minCp = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0F, minCp = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07, minCp = 0x10000;
  } else {
    return Utf8Step{.cp = b0};
  }
  if (i + len > n) return Utf8Step{.cp = b0};
  for (int64_t k = 1; k < len; ++k) {
    const unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) return Utf8Step{.cp = b0};
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minCp || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return Utf8Step{.cp = b0};
  return Utf8Step{.cp = cp, .len = len, .valid = true};
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

namespace {

struct LowerRun {
  char32_t first;
  char32_t last;
  int32_t stride;
  int32_t delta;
};

constexpr LowerRun lowerRuns[] = {
#include "unicode_lower.inc"
};

char32_t lowerCodePoint(char32_t cp) {
  if (cp < 0x80) return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
  const LowerRun* end = std::end(lowerRuns);
  const LowerRun* it = std::upper_bound(std::begin(lowerRuns), end, cp,
                                        [](char32_t v, const LowerRun& r) { return v < r.first; });
  if (it == std::begin(lowerRuns)) return cp;
  --it;
  if (cp > it->last || (cp - it->first) % static_cast<char32_t>(it->stride) != 0) return cp;
  return static_cast<char32_t>(static_cast<int64_t>(cp) + it->delta);
}

bool isUnicodeSpace(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000;
}

}  // namespace

std::string lowerUnicode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const int64_t n = std::ssize(text);
  for (int64_t i = 0; i < n;) {
    // Plain ASCII, most of any ledger's text, needs no decoding: only A-Z change.
    if (const unsigned char c = static_cast<unsigned char>(text[i]); c < 0x80) {
      out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c));
      ++i;
      continue;
    }
    const Utf8Step step = decodeUtf8(text, i);
    if (step.valid)
      appendUtf8(out, lowerCodePoint(step.cp));
    else
      out.push_back(text[i]);
    i += step.len;
  }
  return out;
}

std::vector<std::string> splitUnicodeSpace(std::string_view text) {
  std::vector<std::string> words;
  if (text.empty()) return words;
  const int64_t n = std::ssize(text);
  int64_t wordStart = 0;
  for (int64_t i = 0; i < n;) {
    const Utf8Step step = decodeUtf8(text, i);
    if (step.valid && isUnicodeSpace(step.cp)) {
      words.emplace_back(text.substr(wordStart, i - wordStart));
      wordStart = i + step.len;
    }
    i += step.len;
  }
  words.emplace_back(text.substr(wordStart));
  return words;
}

int64_t codePointCount(std::string_view text) {
  int64_t count = 0;
  const int64_t n = std::ssize(text);
  for (int64_t i = 0; i < n; i += decodeUtf8(text, i).len) ++count;
  return count;
}

bool startsWithFolded(std::string_view text, std::string_view prefix) {
  const int64_t n = std::ssize(text);
  const int64_t m = std::ssize(prefix);
  int64_t i = 0;
  int64_t j = 0;
  while (j < m) {
    if (i >= n) return false;
    const Utf8Step a = decodeUtf8(text, i);
    const Utf8Step b = decodeUtf8(prefix, j);
    if (a.valid != b.valid) return false;
    if (a.valid ? lowerCodePoint(a.cp) != lowerCodePoint(b.cp) : text[i] != prefix[j]) return false;
    i += a.len;
    j += b.len;
  }
  return true;
}

}  // namespace murex
