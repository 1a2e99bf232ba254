// util: errors, templates, digit readers, the text table and the Unicode helpers.
#include "util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raised.h"

using namespace murex;

TEST(UnhandledText, NamesEveryKind) {
  const std::pair<ErrorKind, std::string_view> cases[] = {
      {ErrorKind::Value,
       "Error: unhandled exception: No account found starting with 'Bnk' "
       "[ValueError]\n"},
      {ErrorKind::IO,
       "Error: unhandled exception: No account found starting with 'Bnk' "
       "[IOError]\n"},
      {ErrorKind::OS,
       "Error: unhandled exception: No account found starting with 'Bnk' "
       "[OSError]\n"},
      {ErrorKind::Overflow,
       "Error: unhandled exception: No account found starting with 'Bnk' "
       "[OverflowError]\n"},
      {ErrorKind::ZeroDivision,
       "Error: unhandled exception: No account found starting with "
       "'Bnk' [ZeroDivisionError]\n"},
  };
  for (const auto& [kind, want] : cases)
    EXPECT_EQ(unhandledText(Error(kind, "No account found starting with 'Bnk'")), want);
}

TEST(UnhandledText, KeepsLongMessagesWhole) {
  const std::string message(5000, 'x');
  const std::string text = unhandledText(Error(ErrorKind::Value, message));
  EXPECT_EQ(text, "Error: unhandled exception: " + message + " [ValueError]\n");
}

TEST(RaiseOverflow, RaisesItsKindAndText) {
  try {
    raiseOverflow();
  } catch (const Error& e) {
    EXPECT_EQ(e.kind, ErrorKind::Overflow);
    EXPECT_EQ(e.message, "Arithmetic overflow");
  }
}

TEST(FillNumbered, FillsUsedDigitsOnly) {
  struct Case {
    std::string_view pattern;
    std::string_view want;
  };
  const Case cases[] = {
      {"Money wrong: '$1'", "Money wrong: 'a$2b'"},
      {"$2 and $1", "second and a$2b"},
      {"$3 $0 $ $$1", "$3 $0 $ $a$2b"},
      {"$12", "a$2b2"},
      {"end $", "end $"},
  };
  for (const Case& c : cases) EXPECT_EQ(fillNumbered(c.pattern, {"a$2b", "second"}), c.want);
}

TEST(FillNamed, ReplacesOnceWithTheLongestName) {
  const std::string got = fillNamed("<td>$debit</td><td>$debitSum</td>$rows $unknown $",
                                    {{"debit", "$rows"}, {"debitSum", "9"}, {"rows", "R"}});
  EXPECT_EQ(got, "<td>$rows</td><td>9</td>R $unknown $");
}

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

TEST(FindFrom, FindsAtOrAfterStart) {
  EXPECT_EQ(findFrom("abcabc", "bc", 0), 1);
  EXPECT_EQ(findFrom("abcabc", "bc", 2), 4);
  EXPECT_EQ(findFrom("abcabc", "bc", 5), -1);
  EXPECT_EQ(findFrom("abc", "", 3), 3);
  EXPECT_EQ(findFrom("abc", "a", 10), -1);
}

struct TableCase {
  std::string_view name;
  std::vector<std::string> data;
  int64_t cols;
  std::string_view al;
  std::vector<int64_t> sepRows;
  bool ascii;
  std::string_view want;
};

TEST(TextTable, LaysOutCellsBordersAndLines) {
  const TableCase cases[] = {
      {"empty", {}, 3, "LRL", {1}, false, ""},
      {"header only", {"Date", "Sum"}, 2, "LR", {1}, true, "Date | Sum\n"},
      {"five rows",
       {"H", "h", "a", "1", "b", "2", "S", "3", "C", "4"},
       2,
       "LR",
       {1, -2},
       true,
       "H | h\n-----\na | 1\nb | 2\n-----\nS | 3\nC | 4\n"},
      {"three rows: one line", {"H", "a", "S"}, 1, "L", {1, -2}, true, "H\n-\na\nS\n"},
      {"two rows: -2 is row 0", {"H", "a"}, 1, "L", {1, -2}, true, "-\nH\n-\na\n"},
      {"named twice", {"H", "a"}, 1, "L", {1, 1, -1}, true, "H\n-\na\n"},
      {"last column right pads, left does not",
       {"abc", "x", "y", "z", "wide", "w"},
       3,
       "RRL",
       {1},
       true,
       "abc |    x | y\n--------------\n  z | wide | w\n"},
      {"ascii widths 3 and 2",
       {"abc", "de", "f", "g"},
       2,
       "LL",
       {1},
       true,
       "abc | de\n--------\nf   | g\n"},
      {"unicode borders",
       {"ab", "c", "d", "e"},
       2,
       "RR",
       {1},
       false,
       "ab \u2502 c\n\u2500\u2500\u2500\u253c\u2500\u2500\n d \u2502 e\n"},
      {"bytes widen, code points pad",
       {"Caf\u00e9", "1", "Tea", "2"},
       2,
       "LR",
       {},
       true,
       "Caf\u00e9  | 1\nTea   | 2\n"},
  };
  for (const TableCase& c : cases)
    EXPECT_EQ(textTable(c.data, c.cols, c.al, c.sepRows, c.ascii), c.want) << c.name;
}

TEST(TextTable, PadsInvalidUtf8ByteByByte) {
  // Two stray bytes are two characters of their own: no padding needed for width 2.
  EXPECT_EQ(textTable({"\xff\xfe", "x", "ab", "y"}, 2, "LL", {}, true), "\xff\xfe | x\nab | y\n");
}

TEST(LowerUnicode, MapsSimpleLowerCase) {
  struct Case {
    std::string_view text;
    std::string_view want;
  };
  const Case cases[] = {
      {"ABC xyz 123", "abc xyz 123"},
      {"\u00c9COLE \u00c6\u00d8\u00c5", "\u00e9cole \u00e6\u00f8\u00e5"},
      {"\u0130", "i"},                               // dotted capital I shrinks to one byte
      {"\u2126 \u212a", "\u03c9 k"},                 // Ohm and Kelvin signs
      {"\u0391\u0392\u03a3", "\u03b1\u03b2\u03c3"},  // Greek, final sigma is not context
      {"\u0100\u0101\u0102", "\u0101\u0101\u0103"},  // alternating pairs
      {"\u0414\u0416", "\u0434\u0436"},              // Cyrillic
      {"\u1e9e\u00df", "\u00df\u00df"},              // capital sharp s, no full folding
      {"\U00010400", "\U00010428"},                  // Deseret, four bytes
      {"\u01c5", "\u01c6"},                          // title case maps down
      {"\u2160", "\u2170"},                          // Roman numerals
      {"\u24b6", "\u24d0"},                          // circled letters
  };
  for (const Case& c : cases) EXPECT_EQ(lowerUnicode(c.text), c.want) << c.text;
}

TEST(LowerUnicode, CopiesInvalidBytesThrough) {
  struct Case {
    std::string_view text;
    std::string_view want;
  };
  const Case cases[] = {
      {"\xff", "\xff"},
      {"A\x80Z", "a\x80z"},                      // stray continuation byte
      {"\xc3", "\xc3"},                          // cut at the end
      {"\xc3(", "\xc3("},                        // cut before ASCII
      {"\xe2\x82", "\xe2\x82"},                  // three-byte form cut short
      {"\xed\xa0\x80", "\xed\xa0\x80"},          // surrogate
      {"\xc0\xc1\xc3\x89", "\xc0\xc1\xc3\xa9"},  // overlong leads, then a valid E acute
      {"\xf4\x90\x80\x80", "\xf4\x90\x80\x80"},  // beyond U+10FFFF
      {"\xe0\x80\xaf", "\xe0\x80\xaf"},          // overlong slash
      {"\xc3\xc3\x89", "\xc3\xc3\xa9"},          // a bad lead does not eat the next one
  };
  for (const Case& c : cases) EXPECT_EQ(lowerUnicode(c.text), c.want);
}

TEST(CodePointCount, CountsCharactersAndStrayBytes) {
  EXPECT_EQ(codePointCount(""), 0);
  EXPECT_EQ(codePointCount("Caf\u00e9"), 4);
  EXPECT_EQ(codePointCount("\u20ac\U0001f600"), 2);
  EXPECT_EQ(codePointCount("\xe2\x82"), 2);
  EXPECT_EQ(codePointCount("\x80\x80x"), 3);
}

TEST(SplitUnicodeSpace, EndsAWordAtEverySpace) {
  struct Case {
    std::string_view text;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"", {}},
      {"car", {"car"}},
      {"+car -fuel", {"+car", "-fuel"}},
      {"car  bus", {"car", "", "bus"}},
      {" a ", {"", "a", ""}},
      {"a\tb\nc\vd\fe\rf", {"a", "b", "c", "d", "e", "f"}},
      {"a\u0085b\u00a0c\u1680d\u2000e\u200af", {"a", "b", "c", "d", "e", "f"}},
      {"a\u2028b\u2029c\u202fd\u205fe\u3000f", {"a", "b", "c", "d", "e", "f"}},
      {"a\u200bb", {"a\u200bb"}},   // zero-width space is not white space
      {"a\xc2 b", {"a\xc2", "b"}},  // a cut sequence stays in its word
      {"\xe3\x80", {"\xe3\x80"}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitUnicodeSpace(c.text), c.want) << c.text;
}

TEST(StartsWithFolded, IgnoresCaseCharacterByCharacter) {
  struct Case {
    std::string_view text;
    std::string_view prefix;
    bool want;
  };
  const Case cases[] = {
      {"Cash", "ca", true},
      {"cash", "CA", true},
      {"Ca", "cash", false},
      {"anything", "", true},
      {"\u00c9cole", "\u00e9c", true},
      {"\u00e9cole", "\u00c9", true},
      {"\u00c9cole", "\xc3", false},  // half a character is no prefix
      {"\xff"
       "abc",
       "\xff"
       "A",
       true},
      {"\u0130x", "i", true},
      {"bank", "bnk", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(startsWithFolded(c.text, c.prefix), c.want) << c.text << " / " << c.prefix;
}

TEST(EscapeHtml, ReplacesAngleBracketsAndOptionallyQuotes) {
  EXPECT_EQ(escapeHtml("a <b> & \"c\""), "a &lt;b&gt; & \"c\"");
  EXPECT_EQ(escapeHtml("a <b> & \"c\"", true), "a &lt;b&gt; & &quot;c&quot;");
}
