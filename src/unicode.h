// unicode: the few Unicode rules over UTF-8 bytes that the searches and the tables need: one
// decoder, the simple lower-case mapping, white space, character counts. Knows nothing of
// ledgers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace murex {

// One decoded step of UTF-8. A byte that does not start a well-formed sequence (stray
// continuation, overlong form, surrogate, beyond U+10FFFF, cut short) is taken alone with
// valid false, so that callers copy it through unchanged.
struct Utf8Step {
  char32_t cp = 0;
  int64_t len = 1;
  bool valid = false;
};
// The step at byte i of s (i < s.size()).
Utf8Step decodeUtf8(std::string_view s, int64_t i);
void appendUtf8(std::string& out, char32_t cp);  // cp a code point of Unicode

// A byte of an invalid sequence is a code point of its own that maps to itself and is not
// white space.
std::string lowerUnicode(std::string_view text);  // simple lower-case mapping
// Splits at each of the 25 Unicode white-space code points; empty text gives no words.
std::vector<std::string> splitUnicodeSpace(std::string_view text);
int64_t codePointCount(std::string_view text);  // each byte of an invalid sequence is one
// Case-insensitive (simple lower-case mapping) test whether text starts with prefix.
bool startsWithFolded(std::string_view text, std::string_view prefix);

}  // namespace murex
