// digits: runs of decimal digits read from text as 64-bit numbers, refusing runs too big for
// them. Knows nothing of ledgers.
#pragma once

#include <cstdint>
#include <string_view>

namespace murex {

// toBigInt reads the run of decimal digits at start; before each further digit it raises
// "Number too big: '<text>'" once the value is >= 922337203685477571.
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

}  // namespace murex
