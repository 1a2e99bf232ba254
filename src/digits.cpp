#include "digits.h"

#include <cassert>

#include "error.h"

namespace murex {

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

}  // namespace murex
