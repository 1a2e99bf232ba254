// util: named template filling, digit readers, the console table renderer and the few
// Unicode helpers the searches need. Knows nothing of ledgers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error.h"

namespace murex {

// Fills $name placeholders in one pass (longest name wins); values are inserted literally.
using NamedValues = std::initializer_list<std::pair<std::string_view, std::string_view>>;
std::string fillNamed(std::string_view pattern, NamedValues values);

// Digit readers. toBigInt reads the run of decimal digits at start; before each further
// digit it raises "Number too big: '<text>'" once the value is >= 922337203685477571.
struct BigInt {
  int64_t value = 0;
  int64_t len = 0;  // 0: no digit at start
};
BigInt toBigInt(std::string_view text, int64_t start);
// True when the digit run at start is exactly count digits long (too big counts as no).
bool parseDigits(std::string_view text, int64_t start, int64_t count, int64_t& value);
// True when the whole text is one run of digits that toBigInt can read; a run too big for
// it is no number (a position past every list), like any other character.
bool readNumber(std::string_view text, int64_t& value);
// First position of part at or after start, or -1.
int64_t findFrom(std::string_view text, std::string_view part, int64_t start);

// Console table: cells in row order, cols columns, al one 'L' or 'R' per column, a
// separator line before each row of sepRows (negative counts from the end).
std::string textTable(const std::vector<std::string>& data, int64_t cols, std::string_view al,
                      const std::vector<int64_t>& sepRows, bool ascii);

// Unicode over UTF-8 bytes; a byte of an invalid sequence is a code point of its own that
// maps to itself and is not white space.
std::string lowerUnicode(std::string_view text);  // simple lower-case mapping
// Splits at each of the 25 Unicode white-space code points; empty text gives no words.
std::vector<std::string> splitUnicodeSpace(std::string_view text);
int64_t codePointCount(std::string_view text);  // each byte of an invalid sequence is one
// Case-insensitive (simple lower-case mapping) test whether text starts with prefix.
bool startsWithFolded(std::string_view text, std::string_view prefix);

// HTML text: "<" and ">" become entities; with quotes also '"' (for attribute values).
std::string escapeHtml(std::string_view text, bool quotes = false);

}  // namespace murex
