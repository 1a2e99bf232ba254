// amount: reading amounts in both decimal modes, products, quotients and the written forms.
#include "amount.h"
#include "error.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>


using namespace murex;

namespace {

constexpr int64_t maxI = std::numeric_limits<int64_t>::max();
constexpr int64_t minI = std::numeric_limits<int64_t>::min();

template <typename F>
Error raised(F f) {
  try {
    f();
  } catch (const Error& e) {
    return e;
  }
  return Error(ErrorKind::IO, "nothing raised");
}

}  // namespace

struct MoneyCase {
  std::string_view text;
  bool decimalComma;
  Money want;
};

TEST(ParseMoney, ReadsSignsSeparatorsAndShortDecimals) {
  const MoneyCase cases[] = {
      {"12", false, 1200},
      {"-0.05", false, -5},
      {".5", false, 50},
      {"12.", false, 1200},
      {"+3", false, 300},
      {"1_234.5", false, 123450},
      {"1,234.56", false, 123456},
      {"1,2,3", false, 12300},
      {"1.234,56", true, 123456},
      {"12,5", true, 1250},
      {"1.2.3", true, 12300},
      {"-", false, 0},
      {"+", false, 0},
      {"-.", false, 0},
      {"0", false, 0},
      {"_1_", false, 100},
      {"92233720368547757.09", false, 9223372036854775709},
      {"-92233720368547757.09", false, -9223372036854775709},
      {"92.233.720.368.547.757,09", true, 9223372036854775709},
  };
  for (const MoneyCase& c : cases)
    EXPECT_EQ(parseMoney(c.text, c.decimalComma), c.want) << "text: " << c.text;
}

struct MoneyErrorCase {
  std::string_view text;
  bool decimalComma;
  std::string_view message;
};

TEST(ParseMoney, RefusesBadTextInTheOrderOfItsChecks) {
  const MoneyErrorCase cases[] = {
      {"", false, "Money wrong: ''"},
      {"_", false, "Money wrong: '_'"},
      {",", false, "Money wrong: ','"},
      {".", true, "Money wrong: '.'"},
      {"12a", false, "Money wrong: '12a'"},
      {"--5", false, "Money wrong: '--5'"},
      {"1-", false, "Money wrong: '1-'"},
      {"1.2.3", false, "Money has multiple decimal separators: '1.2.3'"},
      {"1,2,3", true, "Money has multiple decimal separators: '1,2,3'"},
      {"a.b.c", false, "Money has multiple decimal separators: 'a.b.c'"},
      {"1.234", false, "Only two decimals allowed after the decimal separator: '1.234'"},
      {"x.abc", false, "Only two decimals allowed after the decimal separator: 'x.abc'"},
      {"1.-5", false, "Money wrong: '1.-5'"},
      {" 1", false, "Money wrong: ' 1'"},
      {"92233720368547757.10", false, "Number too big: '9223372036854775710'"},
      {"-1_000_000_000_000_000_000", false, "Number too big: '100000000000000000000'"},
  };
  for (const MoneyErrorCase& c : cases) {
    const Error e = raised([&] { parseMoney(c.text, c.decimalComma); });
    EXPECT_EQ(e.message, c.message) << "text: " << c.text;
    EXPECT_EQ(e.kind, ErrorKind::Value) << "text: " << c.text;
  }
}

TEST(ParseMoneyMul, MultipliesFactorsLeftToRight) {
  const MoneyCase cases[] = {
      {"3*1.99", false, 597},    {"-2*1.25", false, -250}, {"1.5*0.33", false, 49},
      {"-1.5*0.33", false, -49}, {"2*3*4", false, 2400},   {"1,5*2", true, 300},
      {"7", false, 700},         {"2*-0", false, 0},
  };
  for (const MoneyCase& c : cases) {
    Warnings warnings;
    EXPECT_EQ(parseMoneyMul(c.text, c.decimalComma, warnings), c.want) << "text: " << c.text;
  }
}

TEST(ParseMoneyMul, RefusesEmptyAndLaterNegativeFactors) {
  const MoneyErrorCase cases[] = {
      {"*3", false, "Wrong amount: *3"},
      {"3*", false, "Wrong amount: 3*"},
      {"3**2", false, "Wrong amount: 3**2"},
      {"*", false, "Wrong amount: *"},
      {"2*-1.25", false, "Wrong amount:2*-1.25"},
      {"2*x", false, "Money wrong: 'x'"},
      {"1.234*2", false, "Only two decimals allowed after the decimal separator: '1.234'"},
  };
  for (const MoneyErrorCase& c : cases) {
    Warnings warnings;
    EXPECT_EQ(raised([&] { parseMoneyMul(c.text, c.decimalComma, warnings); }).message,
              c.message)
        << "text: " << c.text;
  }
}

TEST(ParseMoneyMul, WarnsOnceForEachStepThatDropsCents) {
  struct Case {
    std::string_view text;
    Warnings want;
  };
  const Case cases[] = {
      {"1.5*0.33", {"loss of precision: 1.50 * 0.33. Cents lost: 50"}},
      {"3*1.99", {}},
      {"-1.5*0.33", {}},
      {"0.01*0.5*0.5", {"loss of precision: 0.01 * 0.50. Cents lost: 50"}},
      {"1.5*0.33*1.5", {"loss of precision: 1.50 * 0.33. Cents lost: 50",
                        "loss of precision: 0.49 * 1.50. Cents lost: 50"}},
  };
  for (const Case& c : cases) {
    Warnings warnings = {"before"};  // kept: the readers only add
    parseMoneyMul(c.text, false, warnings);
    Warnings want = {"before"};
    want.insert(want.end(), c.want.begin(), c.want.end());
    EXPECT_EQ(warnings, want) << "text: " << c.text;
  }
}

TEST(MoneyMul, TruncatesAndWarnsOnlyForPositiveLoss) {
  struct Case {
    int64_t a, b;
    Money want;
    std::string_view warning;  // "" for none
  };
  const Case cases[] = {
      {150, 33, 49, "loss of precision: 1.50 * 0.33. Cents lost: 50"},
      {-150, 33, -49, ""},
      {-150, -33, 49, "loss of precision: -1.50 * -0.33. Cents lost: 50"},
      {200, 33, 66, ""},
  };
  for (const Case& c : cases) {
    Warnings warnings;
    EXPECT_EQ(moneyMul(c.a, c.b, warnings), c.want) << c.a << " * " << c.b;
    EXPECT_EQ(warnings, c.warning.empty() ? Warnings{} : Warnings{std::string(c.warning)})
        << c.a << " * " << c.b;
    EXPECT_EQ(moneyMulSilent(c.a, c.b), c.want) << c.a << " * " << c.b;
  }
}

TEST(CheckedArithmetic, RaisesOverflowInsteadOfWrapping) {
  const std::function<void()> cases[] = {
      [] { moneyAdd(maxI, 1); },
      [] { moneyAdd(minI, -1); },
      [] { moneySub(minI, 1); },
      [] { moneySub(0, minI); },
      [] { moneyNeg(minI); },
      [] {
        Warnings warnings;
        moneyMul(maxI, 2, warnings);
      },
      [] { moneyMulSilent(minI, -1); },
      [] { moneyDiv(maxI, 1); },
      [] { formatMoney(minI, "#.##"); },
      [] { reportMoney(minI, "#.##", false); },
  };
  for (const auto& f : cases) {
    const Error e = raised(f);
    EXPECT_EQ(e.kind, ErrorKind::Overflow);
    EXPECT_EQ(e.message, "Arithmetic overflow");
  }
  EXPECT_EQ(moneyAdd(maxI - 1, 1), maxI);
  EXPECT_EQ(moneySub(minI + 1, 1), minI);
  EXPECT_EQ(moneyNeg(maxI), minI + 1);
}

TEST(MoneyDiv, TruncatesTowardZero) {
  EXPECT_EQ(moneyDiv(1000, 300), 333);
  EXPECT_EQ(moneyDiv(-1000, 300), -333);
  EXPECT_EQ(moneyDiv(1000, -300), -333);
  EXPECT_EQ(moneyDiv(5, -1), -500);
  const Error e = raised([] { moneyDiv(1000, 0); });
  EXPECT_EQ(e.kind, ErrorKind::ZeroDivision);
  EXPECT_EQ(e.message, "Division by zero");
}

TEST(FormatMoney, WritesDigitsIntoThePattern) {
  struct Case {
    Money m;
    std::string_view pattern;
    std::string_view want;
  };
  const Case cases[] = {
      {123456789, "###,###,###,###.##", "1,234,567.89"},
      {12345678, "#,##,###.##", "1,23,456.78"},
      {12345678, "###'###.##", "123'456.78"},
      {123456, "#_###_###.##", "1_234.56"},
      {123456, "#_###_###,##", "1_234,56"},
      {-1234, "#.##", "-12.34"},
      {123456789012345678, "###,###,###,###.##", "1234567,890,123,456.78"},
      {10, "#.##", "0.10"},
      {100, "#.##", "1.00"},
      {-5, "#.##", "-0.05"},
      {0, "###,###.##", "0.00"},
      {100000, "###,###.##", "1,000.00"},
      {maxI, "#.##", "92233720368547758.07"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatMoney(c.m, c.pattern), c.want) << c.m;
  EXPECT_EQ(moneyStr(123450), "1234.50");
  EXPECT_EQ(moneyStr(-5), "-0.05");
}

TEST(ReportMoney, WritesTheAccountingForm) {
  struct Case {
    Money m;
    bool whole;
    std::string_view want;
  };
  const std::string_view pattern = "###,###,###,###.##";
  const Case cases[] = {
      {0, false, "- "},
      {0, true, "- "},
      {123456, false, "1,234.56 "},
      {-123456, false, "(1,234.56)"},
      {123400, true, "1,234 "},
      {-500, true, "(5)"},
      {-5, false, "(0.05)"},
      {5, false, "0.05 "},
  };
  for (const Case& c : cases) EXPECT_EQ(reportMoney(c.m, pattern, c.whole), c.want) << c.m;
  EXPECT_EQ(reportMoney(0, "#.##", true), "- ");
}
