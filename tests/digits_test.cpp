// digits: digit runs read as numbers, and runs too big for them refused.
#include "digits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raised.h"

using namespace murex;

TEST(ToBigInt, ReadsTheDigitRunAtStart) {
  struct Case {
    std::string_view text;
    int64_t start;
    int64_t value;
    int64_t len;
  };
  const Case cases[] = {
      {"123abc", 0, 123, 3},
      {"ab42", 2, 42, 2},
      {"abc", 0, 0, 0},
      {"", 0, 0, 0},
      {"12", 5, 0, 0},
      {"0007", 0, 7, 4},
      {"9223372036854775709", 0, 9223372036854775709, 19},
      {"922337203685477570x", 0, 922337203685477570, 18},
  };
  for (const Case& c : cases) {
    const BigInt b = toBigInt(c.text, c.start);
    EXPECT_EQ(b.value, c.value) << c.text;
    EXPECT_EQ(b.len, c.len) << c.text;
  }
}

TEST(ToBigInt, RefusesAFurtherDigitPastTheLimit) {
  EXPECT_EQ(raisedMessage([] { toBigInt("x9223372036854775710", 1); }),
            "Number too big: 'x9223372036854775710'");
  EXPECT_EQ(raisedMessage([] { toBigInt("99999999999999999999999", 0); }),
            "Number too big: '99999999999999999999999'");
  // The limit is checked before each digit, so a value reaching it at the last digit stands.
  EXPECT_EQ(toBigInt("922337203685477571", 0).value, 922337203685477571);
}

TEST(ParseDigits, WantsTheExactRunLength) {
  struct Case {
    std::string_view text;
    int64_t start;
    int64_t count;
    bool ok;
    int64_t value;
  };
  const Case cases[] = {
      {"2024-04", 0, 4, true, 2024}, {"2024-04", 5, 2, true, 4},
      {"20245", 0, 4, false, 0},     {"202", 0, 4, false, 0},
      {"", 0, 0, true, 0},           {"x", 0, 0, true, 0},
      {"12", 3, 2, false, 0},        {"99999999999999999999", 0, 20, false, 0},
  };
  for (const Case& c : cases) {
    int64_t v = -1;
    EXPECT_EQ(parseDigits(c.text, c.start, c.count, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(ReadNumber, WantsOnlyDigitsWithinTheReadersLimit) {
  struct Case {
    std::string_view text;
    bool ok;
    int64_t value;
  };
  const Case cases[] = {
      {"42", true, 42},
      {"007", true, 7},
      {"", false, 0},
      {"4x", false, 0},
      {"-1", false, 0},
      {" 1", false, 0},
      {"922337203685477571", true, 922337203685477571},
      {"9223372036854775710", false, 0},
  };
  for (const Case& c : cases) {
    int64_t value = -1;
    EXPECT_EQ(readNumber(c.text, value), c.ok) << "text: " << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << "text: " << c.text;
    }
  }
}
