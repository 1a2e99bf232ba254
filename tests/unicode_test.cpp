// unicode: lower case, white space and character counts over UTF-8.
#include "unicode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace murex;

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
