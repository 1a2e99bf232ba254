// tests/monthly_test.cpp: the month-by-month figures, checked against the period queries
// that the balance of accounts already trusts.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "ledger_text.h"
#include "monthly.h"
#include "parse.h"
#include "queries.h"
#include "raised.h"

namespace murex {
namespace {

// Accounts: 0 Assets, 1 Bank, 2 Cash, 3 Card, 4 Equity, 5 Income, 6 Salary, 7 Expenses,
// 8 Food, 9 Rent, 10 Fees (deeper than Rent, but after it: Rent's sub-account).
constexpr std::string_view books =
    "2023-01-01 Opening\n"
    "  Assets 0 ; @A\n"
    "    Bank 1000\n"
    "    Cash 50\n"
    "  Card -20 ; @L\n"
    "  Equity ; @C\n"
    "  Income 0 ; @I\n"
    "    Salary 0\n"
    "  Expenses 0 ; @E\n"
    "    Food 0\n"
    "    Rent 0\n"
    "        Fees 0\n"
    "2023-01-15 Salary\n"
    "    Bank 2000\n"
    "    Salary\n"
    "2023-01-31 Market ; cash\n"
    "    Food 12.30 ; apples\n"
    "    Cash\n"
    "2023-02-01 Rent\n"
    "    Rent 800\n"
    "    Fees 2.50 ; transfer fee\n"
    "    Bank\n"
    "2023-02-28 Refund\n"
    "    Food -2.30 ; deposit back\n"
    "    Cash\n"
    "2023-04-30 Market\n"
    "    Food 20\n"
    "    Card\n"
    "2023-12-31 Closing\n"
    "    Salary close\n"
    "    Food close\n"
    "    Rent close\n"
    "    Fees close\n"
    "    Equity\n";

Ledger parsedOk(std::string_view text) {
  Ledger ledger = parsedLedger(text);
  EXPECT_EQ(ledger.errorText, "");
  return ledger;
}

TEST(MonthlyFigures, MonthsOfThePeriodClippedToItsBounds) {
  const Ledger ledger = parsedOk(books);
  struct Case {
    Datum ds, de;
    std::vector<DateRange> months;
  };
  const Case cases[] = {
      {20230101, 20230331, {{20230101, 20230131}, {20230201, 20230228}, {20230301, 20230331}}},
      {20230115, 20230210, {{20230115, 20230131}, {20230201, 20230210}}},
      {20231130, 20240201, {{20231130, 20231130}, {20231201, 20231231},
                            {20240101, 20240131}, {20240201, 20240201}}},
      {20240201, 20240229, {{20240201, 20240229}}},
      {20230301, 20230228, {}},
  };
  for (const Case& c : cases) {
    const MonthlyFigures f = monthlyFigures(ledger, c.ds, c.de);
    ASSERT_EQ(f.months.size(), c.months.size()) << c.ds;
    for (size_t i = 0; i < c.months.size(); ++i) {
      EXPECT_EQ(f.months[i].first, c.months[i].first);
      EXPECT_EQ(f.months[i].last, c.months[i].last);
    }
    EXPECT_EQ(f.cells.size(), ledger.accounts.size() * c.months.size());
  }
  EXPECT_EQ(monthEnd(2100, 2), 21000228);
  EXPECT_EQ(monthEnd(2000, 2), 20000229);
}

// Every cell and the closing bookings beside it are what subtreeSums says of that month: the
// same debits and credits, the same balance at its end, for every account of the tree and
// every month of the year.
TEST(MonthlyFigures, EachCellIsTheSubTreeSumsOfItsMonth) {
  const Ledger ledger = parsedOk(books);
  const MonthlyFigures f = monthlyFigures(ledger, 20230101, 20231231);
  ASSERT_EQ(f.months.size(), 12u);
  for (int64_t a = 0; a < std::ssize(ledger.accounts); ++a) {
    for (size_t m = 0; m < 12; ++m) {
      const Sums want = subtreeSums(ledger, a, f.months[m].first, f.months[m].last);
      const Sums& got = f.at(a, m);
      EXPECT_EQ(moneyAdd(got.debit, f.closingAt(a, m).debit), want.debit) << a << " " << m;
      EXPECT_EQ(moneyAdd(got.credit, f.closingAt(a, m).credit), want.credit) << a << " " << m;
      EXPECT_EQ(got.balance, want.balance) << a << " " << m;
      EXPECT_EQ(f.closingAt(a, m).balance, 0);
    }
  }
  // The opening transaction is before every period; Rent's tree holds Fees.
  EXPECT_EQ(f.opening[0], 105000);
  EXPECT_EQ(f.at(9, 1).debit, 80250);
  EXPECT_EQ(f.at(7, 1).debit, 80250);
  EXPECT_EQ(f.at(7, 1).credit, 230);
  EXPECT_EQ(f.at(8, 2).balance, 1000);
}

// The bookings written "close" stand apart from the months; the other side of the closing
// (Equity) is a month's change like any other.
TEST(MonthlyFigures, ClosingBookingsStandApartFromTheMonths) {
  const Ledger ledger = parsedOk(books);
  struct Case {
    Datum ds, de;
    std::string_view filter;
    int64_t account;
    Money debit, credit;  // of its closing bookings over the period
    int64_t count;        // how many, filter or not
    Money decemberDebit, decemberCredit;  // the last month without them
  };
  const Case cases[] = {
      {20230101, 20231231, "", 6, 200000, 0, 1, 0, 0},        // Salary
      {20230101, 20231231, "", 5, 200000, 0, 1, 0, 0},        // Income, from Salary
      {20230101, 20231231, "", 8, 0, 3000, 1, 0, 0},          // Food: 12.30 - 2.30 + 20
      {20230101, 20231231, "", 9, 0, 80250, 2, 0, 0},         // Rent with its Fees
      {20230101, 20231231, "", 7, 0, 83250, 3, 0, 0},         // Expenses
      {20230101, 20231231, "", 4, 0, 0, 0, 0, 116750},        // Equity takes the rest
      {20230101, 20231231, "", 0, 0, 0, 0, 0, 0},             // Assets never close
      {20231201, 20240131, "", 7, 0, 83250, 3, 0, 0},         // a period across the year's end
      {20230101, 20231130, "", 7, 0, 0, 0, 0, 0},             // no closing before December
      {20230101, 20231231, "closing", 7, 0, 83250, 3, 0, 0},  // the description matches
      {20230101, 20231231, "rent", 7, 0, 0, 3, 0, 0},         // filtered out, still counted
  };
  for (const Case& c : cases) {
    const MonthlyFigures f = monthlyFigures(ledger, c.ds, c.de, c.filter);
    Sums closing;
    for (size_t m = 0; m < f.months.size(); ++m) {
      closing.debit = moneyAdd(closing.debit, f.closingAt(c.account, m).debit);
      closing.credit = moneyAdd(closing.credit, f.closingAt(c.account, m).credit);
    }
    EXPECT_EQ(closing.debit, c.debit) << c.account << " " << c.ds << " " << c.filter;
    EXPECT_EQ(closing.credit, c.credit) << c.account << " " << c.ds << " " << c.filter;
    EXPECT_EQ(f.closingCount[c.account], c.count) << c.account << " " << c.ds << " " << c.filter;
    if (f.months.back().last == 20231231 && c.filter.empty()) {
      EXPECT_EQ(f.at(c.account, f.months.size() - 1).debit, c.decemberDebit) << c.account;
      EXPECT_EQ(f.at(c.account, f.months.size() - 1).credit, c.decemberCredit) << c.account;
    }
  }
  // A card paid off with close is the card's change of that month, as it is the bank's.
  const Ledger card = parsedOk(
      "2023-01-01 Opening\n  Bank 100 ; @A\n  Card -30 ; @L\n  Equity ; @C\n"
      "2023-03-01 Card paid\n  Card close\n  Bank\n");
  const MonthlyFigures f = monthlyFigures(card, 20230101, 20231231);
  EXPECT_EQ(f.at(1, 2).debit, 3000);
  EXPECT_EQ(f.closingAt(1, 2).debit, 0);
  EXPECT_EQ(f.closingCount[1], 0);
}

TEST(MonthlyFigures, FilterCountsTheMatchingSplitsOnly) {
  const Ledger ledger = parsedOk(books);
  const MonthlyFigures all = monthlyFigures(ledger, 20230101, 20231231);
  struct Case {
    std::string_view filter;
    int64_t account;
    size_t month;
    Money debit, credit;
  };
  const Case cases[] = {
      {"market", 8, 0, 1230, 0},      // the description
      {"market", 2, 0, 0, 1230},
      {"APPLES", 8, 0, 1230, 0},      // a split's comment, any case
      {"+rent -fee", 7, 1, 80000, 0},  // the split with a comment "transfer fee" is left out
      {"fee", 7, 1, 250, 0},
      {"nothing", 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const MonthlyFigures f = monthlyFigures(ledger, 20230101, 20231231, c.filter);
    EXPECT_EQ(f.at(c.account, c.month).debit, c.debit) << c.filter;
    EXPECT_EQ(f.at(c.account, c.month).credit, c.credit) << c.filter;
    // Balances are facts of the ledger, whatever the filter shows.
    for (int64_t a = 0; a < std::ssize(ledger.accounts); ++a)
      for (size_t m = 0; m < 12; ++m) EXPECT_EQ(f.at(a, m).balance, all.at(a, m).balance);
  }
}

TEST(MonthlyFigures, ProfitCountsIncomeCreditsLessExpenseDebits) {
  const Ledger ledger = parsedOk(books);
  const MonthlyFigures f = monthlyFigures(ledger, 20230101, 20231231);
  const std::vector<Money> profit = monthlyProfit(ledger, f);
  ASSERT_EQ(profit.size(), 12u);
  // January: salary 2000 less food 12.30; February: rent and fee (the refund's credit to an
  // expense does not count); December: closing debits income and credits expenses, not counted.
  EXPECT_EQ(profit[0], 200000 - 1230);
  EXPECT_EQ(profit[1], -80250);
  EXPECT_EQ(profit[3], -2000);
  EXPECT_EQ(profit[11], 0);
  EXPECT_EQ(closingProfit(ledger, f), std::vector<Money>(12, 0));
  // A loss of an income account closes with a credit, which the balance of accounts counts
  // as income: the closing's own profit, not December's.
  const Ledger loss = parsedOk(
      "2023-01-01 Opening\n  Assets 10 ; @A\n  Equity ; @C\n  Income 0 ; @I\n"
      "  Expenses 0 ; @E\n"
      "2023-03-01 Fund loss\n  Income 4\n  Assets\n"
      "2023-12-31 Closing\n  Income close\n  Equity\n");
  const MonthlyFigures lf = monthlyFigures(loss, 20230101, 20231231);
  EXPECT_EQ(monthlyProfit(loss, lf)[11], 0);
  EXPECT_EQ(closingProfit(loss, lf)[11], 400);
  EXPECT_EQ(closingProfit(loss, lf)[2], 0);
  // Without an income root there is no profit to tell.
  const Ledger noIncome = parsedOk(
      "2023-01-01 Opening\n  Assets 10 ; @A\n  Expenses 0 ; @E\n  Equity ; @C\n"
      "2023-02-01 x\n  Expenses 5\n  Assets\n");
  const std::vector<Money> none = monthlyProfit(noIncome, monthlyFigures(noIncome, 20230101,
                                                                         20230331));
  EXPECT_EQ(none, std::vector<Money>(3, 0));
}

TEST(MonthlyFigures, SubTreeBeyondSixtyFourBitsIsAnOverflow) {
  std::string text = "2023-01-01 Opening\n  Assets 0 ; @A\n";
  for (int i = 1; i <= 11; ++i) text += "    A" + std::to_string(i) + " 0\n";
  text += "  Debts 0 ; @L\n";
  for (int i = 1; i <= 11; ++i) text += "    D" + std::to_string(i) + " 0\n";
  for (int i = 1; i <= 11; ++i) {
    text += "2023-03-01 Big\n    A" + std::to_string(i) + " 9_000_000_000_000_000\n    D" +
            std::to_string(i) + "\n";
  }
  const Ledger ledger = parsedOk(text);
  EXPECT_EQ(raisedMessage([&] { monthlyFigures(ledger, 20230101, 20231231); }),
            "Arithmetic overflow");
  // Each account alone is fine.
  EXPECT_EQ(monthlyFigures(ledger, 20230101, 20230131).months.size(), 1u);
}

}  // namespace
}  // namespace murex
