#include "util.h"

#include <algorithm>
#include <cassert>
#include <cstddef>

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

namespace {

constexpr int64_t bigIntLimit = 922337203685477571;  // (2^63 - 1) div 10 - 9

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The shared digit walk: stops with tooBig instead of raising, so parseDigits can refuse.
struct DigitRun {
  int64_t value = 0;
  int64_t len = 0;
  bool tooBig = false;
};

DigitRun readDigits(std::string_view text, int64_t start) {
  assert(start >= 0);
  DigitRun run;
  const int64_t n = std::ssize(text);
  for (int64_t i = start; i < n && isDigit(text[i]); ++i) {
    if (run.value >= bigIntLimit) {
      run.tooBig = true;
      return run;
    }
    run.value = run.value * 10 + (text[i] - '0');
    ++run.len;
  }
  return run;
}

}  // namespace

BigInt toBigInt(std::string_view text, int64_t start) {
  const DigitRun run = readDigits(text, start);
  if (run.tooBig) raiseValue("Number too big: '$1'", {text});
  return BigInt{.value = run.value, .len = run.len};
}

bool parseDigits(std::string_view text, int64_t start, int64_t count, int64_t& value) {
  const DigitRun run = readDigits(text, start);
  if (run.tooBig || run.len != count) return false;
  value = run.value;
  return true;
}

bool readNumber(std::string_view text, int64_t& value) {
  const DigitRun run = readDigits(text, 0);
  if (run.len == 0 || run.len != std::ssize(text) || run.tooBig) return false;
  value = run.value;
  return true;
}

int64_t findFrom(std::string_view text, std::string_view part, int64_t start) {
  if (start < 0) start = 0;
  if (start > std::ssize(text)) return -1;
  const size_t at = text.find(part, static_cast<size_t>(start));
  return at == std::string_view::npos ? -1 : static_cast<int64_t>(at);
}

std::string textTable(const std::vector<std::string>& data, int64_t cols, std::string_view al,
                      const std::vector<int64_t>& sepRows, bool ascii) {
  assert(cols > 0);
  const int64_t cells = std::ssize(data);
  const int64_t rows = cells / cols;
  assert(rows * cols == cells);
  assert(std::ssize(al) >= cols || cells == 0);

  std::vector<int64_t> width(cols, 0);
  for (int64_t i = 0; i < cells; ++i)
    width[i % cols] = std::max(width[i % cols], std::ssize(data[i]));

  const std::string_view colSep = ascii ? " | " : " \u2502 ";
  const std::string_view line = ascii ? "-" : "\u2500";
  const std::string_view cross = ascii ? "---" : "\u2500\u253c\u2500";

  std::string out;
  for (int64_t i = 0; i < cells; ++i) {
    const int64_t row = i / cols;
    const int64_t c = i % cols;
    if (c == 0 && std::any_of(sepRows.begin(), sepRows.end(),
                              [&](int64_t r) { return r == row || r == row - rows; })) {
      for (int64_t k = 0; k < cols; ++k) {
        for (int64_t w = 0; w < width[k]; ++w) out.append(line);
        if (k + 1 < cols) out.append(cross);
      }
      out.push_back('\n');
    }
    if (c > 0) out.append(colSep);
    const std::string& cell = data[i];
    const int64_t pad = std::max<int64_t>(0, width[c] - codePointCount(cell));
    assert(al[c] == 'L' || al[c] == 'R');
    if (al[c] == 'L') {
      out.append(cell);
      if (c + 1 < cols) out.append(pad, ' ');
    } else {
      out.append(pad, ' ');
      out.append(cell);
    }
    if (c + 1 == cols) out.push_back('\n');
  }
  return out;
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

// One decoded step of UTF-8. A byte that does not start a well-formed sequence (stray
// continuation, overlong form, surrogate, beyond U+10FFFF, cut short) is taken alone with
// valid false, so that callers copy it through unchanged.
struct Utf8Step {
  char32_t cp = 0;
  int64_t len = 1;
  bool valid = false;
};

Utf8Step decodeAt(std::string_view s, int64_t i) {
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
    const Utf8Step step = decodeAt(text, i);
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
    const Utf8Step step = decodeAt(text, i);
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
  for (int64_t i = 0; i < n; i += decodeAt(text, i).len) ++count;
  return count;
}

bool startsWithFolded(std::string_view text, std::string_view prefix) {
  const int64_t n = std::ssize(text);
  const int64_t m = std::ssize(prefix);
  int64_t i = 0;
  int64_t j = 0;
  while (j < m) {
    if (i >= n) return false;
    const Utf8Step a = decodeAt(text, i);
    const Utf8Step b = decodeAt(prefix, j);
    if (a.valid != b.valid) return false;
    if (a.valid ? lowerCodePoint(a.cp) != lowerCodePoint(b.cp) : text[i] != prefix[j]) return false;
    i += a.len;
    j += b.len;
  }
  return true;
}

std::string escapeHtml(std::string_view text, bool quotes) {
  std::string out;
  out.reserve(text.size() + 16);
  for (const char c : text) {
    if (c == '<')
      out.append("&lt;");
    else if (c == '>')
      out.append("&gt;");
    else if (c == '"' && quotes)
      out.append("&quot;");
    else
      out.push_back(c);
  }
  return out;
}

}  // namespace murex
