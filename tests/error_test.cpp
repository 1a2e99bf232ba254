// error: the exception's kinds and texts, and the numbered templates.
#include "error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
