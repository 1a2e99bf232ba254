// tests/queries_test.cpp: the questions reports ask of a parsed ledger, the ledger text they
// write back (transactions, the next opening transaction) and the filter and highlight helpers.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ledger_text.h"
#include "literal_ledger.h"
#include "ledgertext.h"
#include "parse.h"
#include "queries.h"
#include "token.h"

namespace murex {
namespace {

// Accounts: 0 Assets, 1 Bank, 2 Cash, 3 Stocks (ACME, BETA), 4 Card, 5 Equity, 6 Income,
// 7 Salary, 8 Expenses, 9 Food.
constexpr std::string_view household =
    "2023-01-01 Opening\n"
    "  Assets 0 ; @A\n"
    "    Bank 1000\n"
    "    Cash 50 ; Pocket money\n"
    "  Stocks 0 ; @A Depot\n"
    "  Stocks:ACME 10@5 ; Acme shares\n"
    "  Stocks:BETA 0@\n"
    "  Card 0 ; @L Credit card\n"
    "  Equity -1100 ; @C\n"
    "  Income 0 ; @I\n"
    "    Salary 0\n"
    "  Expenses 0 ; @E\n"
    "    Food 0\n"
    "2023-01-15 Salary\n"
    "    Bank 2000\n"
    "    Salary\n"
    "2023-02-01 Groceries\n"
    "    Food 120.50 ; bread\n"
    "    Card\n"
    "2023-04-01 Buy BETA\n"
    "    Stocks:BETA 4@12.50\n"
    "    Bank -50\n"
    "2023-05-10 Sell ACME\n"
    "    Stocks:ACME -4@\n"
    "    Bank 30\n"
    "    Income -10\n"
    "2023-12-31 Revalue ACME\n"
    "    Stocks:ACME revalue@6\n"
    "    Equity -6\n";

Ledger parsedOk(std::string_view text) {
  Ledger ledger = parsedLedger(text);
  EXPECT_EQ(ledger.errorText, "");
  return ledger;
}

TEST(CanReport, NeedsAGoodParseWithTransactions) {
  EXPECT_TRUE(canReport(parsedOk(household)));
  EXPECT_FALSE(canReport(parsedLedger("2023-01-01 x\n  A 1\n")));
  EXPECT_FALSE(canReport(Ledger{}));
}

TEST(SplitInPeriod, OpeningIsAlwaysBefore) {
  const Ledger ledger = parsedOk(household);
  EXPECT_EQ(splitInPeriod(ledger, 19700101, 21001231, 0), -1);
  const int64_t salary = ledger.accountSplits[1][1];  // Bank, 2023-01-15
  EXPECT_EQ(splitInPeriod(ledger, 20230115, 20230115, salary), 0);
  EXPECT_EQ(splitInPeriod(ledger, 20230116, 20231231, salary), -1);
  EXPECT_EQ(splitInPeriod(ledger, 20230101, 20230114, salary), 1);
}

struct SumsCase {
  int64_t accountPos;
  Datum ds, de;
  Sums own, tree;
};

TEST(AccountSums, OwnAndSubtreeMovementsAndEndBalance) {
  const Ledger ledger = parsedOk(household);
  const SumsCase cases[] = {
      // Only the opening split: no movement, the opening balance.
      {2, 20230101, 20231231, {0, 0, 5000}, {0, 0, 5000}},
      {1, 20230101, 20231231, {203000, 5000, 298000}, {203000, 5000, 298000}},
      // The period ends before the first later split: the opening balance.
      {1, 20230101, 20230110, {0, 0, 100000}, {0, 0, 100000}},
      {1, 20230201, 20230430, {0, 5000, 295000}, {0, 5000, 295000}},
      {0, 20230101, 20231231, {0, 0, 0}, {203000, 5000, 303000}},
      {6, 20230101, 20231231, {0, 1000, -1000}, {0, 201000, -201000}},
      {8, 20230101, 20231231, {0, 0, 0}, {12050, 0, 12050}},
      {4, 20230101, 20231231, {0, 12050, -12050}, {0, 12050, -12050}},
  };
  for (const SumsCase& c : cases) {
    const Sums own = accountSums(ledger, c.accountPos, c.ds, c.de);
    const Sums tree = subtreeSums(ledger, c.accountPos, c.ds, c.de);
    EXPECT_EQ(own.debit, c.own.debit) << c.accountPos << " " << c.ds;
    EXPECT_EQ(own.credit, c.own.credit) << c.accountPos << " " << c.ds;
    EXPECT_EQ(own.balance, c.own.balance) << c.accountPos << " " << c.ds;
    EXPECT_EQ(tree.debit, c.tree.debit) << c.accountPos << " " << c.ds;
    EXPECT_EQ(tree.credit, c.tree.credit) << c.accountPos << " " << c.ds;
    EXPECT_EQ(tree.balance, c.tree.balance) << c.accountPos << " " << c.ds;
  }
}

TEST(FirstNotBefore, SkipsTheOpeningAndEarlierDates) {
  const Ledger ledger = parsedOk(household);
  const std::vector<int64_t>& bank = ledger.accountSplits[1];  // opening, 01-15, 04-01, 05-10
  EXPECT_EQ(firstNotBefore(ledger, bank, 19700101), 1u);
  EXPECT_EQ(firstNotBefore(ledger, bank, 20230115), 1u);
  EXPECT_EQ(firstNotBefore(ledger, bank, 20230116), 2u);
  EXPECT_EQ(firstNotBefore(ledger, bank, 20230511), 4u);
}

TEST(AccountBalanceAt, CountsOnlySplitsBeforeTheDate) {
  const Ledger ledger = parsedOk(household);
  EXPECT_EQ(accountBalanceAt(ledger, 1, 20230101), 100000);  // the opening counts as before
  EXPECT_EQ(accountBalanceAt(ledger, 1, 20230115), 100000);  // that day's split does not
  EXPECT_EQ(accountBalanceAt(ledger, 1, 20230116), 300000);
  EXPECT_EQ(accountBalanceAt(ledger, 1, 20240101), 298000);
  EXPECT_EQ(accountBalanceAt(ledger, 9, 20230201), 0);
}

TEST(IsLedgerClosed, AsksEveryIncomeAndExpenseAccount) {
  EXPECT_FALSE(isLedgerClosed(parsedOk(household)));
  std::string closed(household);
  closed +=
      "2023-12-31 Close\n"
      "    Salary close\n"
      "    Income close\n"
      "    Food close\n"
      "    Equity\n";
  EXPECT_TRUE(isLedgerClosed(parsedOk(closed)));
}

TEST(KindSums, MovementsAndHoldingOfThePeriod) {
  const Ledger ledger = parsedOk(household);
  // ACME: 10 at 5.00 opened, 4 sold in May, then revalued (6 out, 6 in at 6.00).
  KindSums s = kindSums(ledger, 0, 20230101, 20231231);
  EXPECT_EQ(s.itemsIn, 600);
  EXPECT_EQ(s.itemsOut, 1000);
  EXPECT_EQ(s.items, 600);
  EXPECT_EQ(s.money, 3600);
  s = kindSums(ledger, 0, 20230101, 20230630);
  EXPECT_EQ(s.itemsIn, 0);
  EXPECT_EQ(s.itemsOut, 400);
  EXPECT_EQ(s.items, 600);
  EXPECT_EQ(s.money, 3000);
  s = kindSums(ledger, 1, 20230101, 20230331);
  EXPECT_EQ(s.items, 0);
  EXPECT_EQ(s.money, 0);
}

TEST(KindTotalAt, HoldingBeforeTheDate) {
  const Ledger ledger = parsedOk(household);
  Holding h = kindTotalAt(ledger, 0, 20230510);
  EXPECT_EQ(h.items, 1000);
  EXPECT_EQ(h.money, 5000);
  h = kindTotalAt(ledger, 0, 20230511);
  EXPECT_EQ(h.items, 600);
  EXPECT_EQ(h.money, 3000);
  h = kindTotalAt(ledger, 0, 20240101);
  EXPECT_EQ(h.items, 600);
  EXPECT_EQ(h.money, 3600);
  h = kindTotalAt(ledger, 1, 20230401);
  EXPECT_EQ(h.items, 0);
}

TEST(LedgerAmountText, DropsZeroCentsOfAmountsAboveOne) {
  Ledger dot;
  Ledger comma;
  comma.decimalComma = true;
  const struct {
    Money m;
    bool comma;
    std::string_view want;
  } cases[] = {
      {123456, false, "1_234.56"}, {120000, false, "1_200"},   {100, false, "1.00"},
      {0, false, "0.00"},          {-500, false, "-5"},        {50, false, "0.50"},
      {-100, false, "-1.00"},      {123456, true, "1_234,56"}, {-200, true, "-2"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ledgerAmountText(c.comma ? comma : dot, c.m), c.want) << c.m;
}

TEST(TransactionText, WritesTheSplitsBack) {
  const Ledger ledger = parsedOk(household);
  const int64_t sell = ledger.kindSplits[0][1];
  EXPECT_EQ(transactionText(ledger, sell + 1),
            "2023-05-10 Sell ACME\n"
            "    Stocks:ACME -4@\n"
            "    Bank 30\n"
            "    Income -10\n");
  EXPECT_EQ(transactionText(ledger, ledger.kindSplits[0][2]),
            "2023-12-31 Revalue ACME\n"
            "    Stocks:ACME -6@ ; Revalue: take all out\n"
            "    Stocks:ACME 6@6 ; Revalue: put all back with a new price\n"
            "    Equity -6\n");
  const std::string_view opening = "2023-01-01 Opening\n    Assets 0.00\n    Bank 1_000\n";
  EXPECT_EQ(transactionText(ledger, 0).substr(0, opening.size()), opening);
  EXPECT_EQ(transactionText(Ledger{}, 0), "");
}

constexpr std::string_view closing =
    "2023-12-31 Close\n"
    "    Salary close\n"
    "    Income close\n"
    "    Food close\n"
    "    Equity\n";

TEST(NewOpeningText, CarriesBalancesAndSlots) {
  const Ledger ledger = parsedOk(std::string(household) + std::string(closing));
  EXPECT_EQ(newOpeningText(ledger),
            "2024-01-01 Opening transaction\n"
            "  Assets 0.00 ; @A\n"
            "    Bank 2_980\n"
            "    Cash 50 ; Pocket money\n"
            "  Stocks 0 ; @A Depot\n"
            "  Stocks:ACME 6@6 ; Acme shares\n"
            "  Stocks:BETA 4@12.50\n"
            "  Card -120.50 ; @L Credit card\n"
            "  Equity -2_995.50 ; @C\n"
            "  Income 0.00 ; @I\n"
            "    Salary 0.00\n"
            "  Expenses 0.00 ; @E\n"
            "    Food 0.00\n");
}

TEST(NewOpeningText, RedeclaresEmptyKindsAndKeepsResidues) {
  // Three items at 0.33 removed as 1.50 and 1.50 leave 0.01 on the account; "Box" holds
  // money besides its kinds; BETA is sold out.
  const Ledger ledger = parsedOk(
      "2023-01-01 Opening\n"
      "  Box 2 ; @A\n"
      "  Box:ACME 3@0.33\n"
      "  Box:BETA 1@1 ; Beta\n"
      "  Box:GAMMA 0@ ; GAMMA\n"
      "  Eq -3.99\n"
      "2023-03-01 Sell\n"
      "  Box:ACME -1.5@\n"
      "  Box:ACME -1.5@\n"
      "  Box:BETA close@\n"
      "  Eq\n");
  EXPECT_EQ(newOpeningText(ledger),
            "2023-03-02 Opening transaction\n"
            "  Box 2.01 ; @A\n"
            "  Box:ACME 0@\n"
            "  Box:BETA 0@ ; Beta\n"
            "  Box:GAMMA 0@\n"
            "  Eq -2.01\n");
}

TEST(NewOpeningText, DateStaysWritable) {
  const struct {
    std::string_view format, last, want;
  } cases[] = {
      {"y-m-d", "2100-12-31", "2100-12-31"},
      {"y-m-d", "2100-12-30", "2100-12-31"},
      {"Y-m-d", "99-12-31", "99-12-31"},
      {"Y-m-d", "24-02-28", "24-02-29"},
  };
  for (const auto& c : cases) {
    Ledger ledger;
    ledger.dateFormat = c.format;
    const std::string text = normalisedLedger(std::string(c.last) + " x\n  A 1\n  B -1\n");
    int64_t lineNr = 1;
    parseLedger(ledger, text, lineNr);
    ASSERT_EQ(ledger.errorText, "") << c.last;
    const std::string nop = newOpeningText(ledger);
    EXPECT_EQ(nop.substr(0, nop.find(' ')), c.want) << c.format << " " << c.last;
  }
}

TEST(NewOpeningText, WritesTheLedgersOwnDateAndDecimalFormat) {
  Ledger ledger;
  ledger.decimalComma = true;
  ledger.dateFormat = "d.m.y";
  const std::string text =
      normalisedLedger("30.12.2023 Opening\n  Bank 1.234,56 ; @A\n  Box 0\n  Box:X 2@1,5\n  Eq\n");
  int64_t lineNr = 1;
  parseLedger(ledger, text, lineNr);
  ASSERT_EQ(ledger.errorText, "");
  EXPECT_EQ(newOpeningText(ledger),
            "31.12.2023 Opening transaction\n"
            "  Bank 1_234,56 ; @A\n"
            "  Box 0\n"
            "  Box:X 2@1,50\n"
            "  Eq -1_237,56\n");
}

// The next ledger made of the opening text reads back and opens with the final balances.
TEST(NewOpeningText, RoundTripsThroughTheParse) {
  const std::string cases[] = {
      std::string(household) + std::string(closing),
      "2023-01-01 Opening\n"
      "  Box 2 ; @A\n"
      "  Box:ACME 3@0.33\n"
      "  Box:BETA 1@1 ; Beta\n"
      "  Eq -3.99 ; @C\n"
      "2023-03-01 Sell\n"
      "  Box:ACME -1.5@\n"
      "  Box:ACME -1.5@\n"
      "  Box:BETA close@\n"
      "  Eq\n"
      "2023-03-02 Buy\n"
      "  Box:ACME 0.5@1.11\n"
      "  Eq\n",
  };
  for (const std::string& text : cases) {
    const Ledger old = parsedOk(text);
    ASSERT_TRUE(isLedgerClosed(old));
    const std::string nop = newOpeningText(old);
    const Ledger next = parsedLedger(nop);
    ASSERT_EQ(next.errorText, "") << nop;
    ASSERT_EQ(next.accounts.size(), old.accounts.size());
    ASSERT_EQ(next.kinds.size(), old.kinds.size());
    for (size_t a = 0; a < old.accounts.size(); ++a) {
      EXPECT_EQ(next.accounts[a].name, old.accounts[a].name);
      EXPECT_EQ(next.accounts[a].typeChar, old.accounts[a].typeChar);
      EXPECT_EQ(next.accounts[a].description, old.accounts[a].description);
      EXPECT_EQ(accountBalanceAt(next, a, 21001231), accountBalanceAt(old, a, 21001231)) << nop;
    }
    for (size_t k = 0; k < old.kinds.size(); ++k) {
      const Holding was = kindTotalAt(old, k, 21001231);
      const Holding is = kindTotalAt(next, k, 21001231);
      // Truncation residues of removals stay on the account line, not in the kind.
      EXPECT_EQ(is.items, was.items) << nop;
    }
  }
}

struct FilterCase {
  std::string_view text;
  std::vector<std::string> words;
  bool want;
};

TEST(FilterMatch, RequiredExcludedAndAlternativeWords) {
  const FilterCase cases[] = {
      {"broker fee", {"broker", "-fee"}, false},
      {"broker fee", {"+broker"}, true},
      {"broker fee", {"roker"}, false},  // follows a letter
      {"car repair: new tyres", {"+car", "-fuel"}, true},
      {"car: fuel", {"+car", "-fuel"}, false},
      {"sidecar", {"car"}, false},
      {"sidecar car", {"car"}, false},  // only the first occurrence counts
      {"bus ticket: ", {"car", "bus"}, true},
      {"anything", {"car", "", "bus"}, true},  // the empty word starts every text
      {"anything", {"-"}, false},
      {"anything", {"+"}, true},
      {"anything", {"-fuel"}, true},
      {"(car)", {"car"}, true},
      {"x:car", {"car"}, true},
      {"x\tcar", {"car"}, true},
      {"\xc3\xa9"
       "car",
       {"car"},
       false},  // after a non-ASCII byte
      {"", {"car"}, false},
      {"car", {}, false},
      {"caf\xc3\xa9 au lait", {"caf\xc3\xa9"}, true},
  };
  for (const FilterCase& c : cases) {
    std::string words;
    for (const std::string& w : c.words) words += "[" + w + "]";
    EXPECT_EQ(filterMatch(c.text, c.words), c.want) << c.text << " " << words;
  }
}

TEST(HighlightLedger, OneSpanPerRunOfAClass) {
  const struct {
    std::string_view text, want;
  } cases[] = {
      {"2024-04-30 Grocery from Aldi\n    Food 12.50 ; weekly shop\n",
       "<span class=\"Datum\">2024-04-30</span> <span class=\"Description\">Grocery from "
       "Aldi</span>\n    <span class=\"Account\">Food</span> <span class=\"Amount\">12.50</span>"
       " <span class=\"Comment\">; weekly shop</span>\n"},
      // No final line end: the last span stays open.
      {"2024-01-01 a", "<span class=\"Datum\">2024-01-01</span> <span class=\"Description\">a"},
      {"  A 1 ; @A cash\n",
       "  <span class=\"Account\">A</span> <span class=\"Amount\">1</span> <span "
       "class=\"Comment\">;</span> <span class=\"Tag\">@A</span> <span "
       "class=\"Comment\">cash</span>\n"},
      {"2024-01-01 a <b>\f&\n",
       "<span class=\"Datum\">2024-01-01</span> <span class=\"Description\">a "
       "&lt;b&gt;;;&</span>\n"},
      {"", ""},
      {"\n\n", "\n\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(highlightLedger(c.text), c.want) << c.text;
}

// The period queries walk per-account and per-kind indexes and jump over the splits before
// the period; a literal walk over every split, as the queries are defined, must agree.
TEST(PeriodQueries, AgreeWithTheLiteralWalksOverAllSplits) {
  std::mt19937_64 rng(3);
  // Accounts: 0 Assets, 1 Cash, 2 Stocks (K), 3 Other, 4 Sub, 5 Eq.
  std::string text =
      "2020-01-03\n  Assets 0 ; @A\n    Cash 1000\n    Stocks 0\n    Stocks:K 10@2\n"
      "  Other 0\n    Sub 5\n  Eq\n";
  Items held = 1000;
  int day = 3;
  for (int t = 0; t < 300; ++t) {
    if (day < 28) day += int(rng() % 8 == 0);
    text += "2020-01-" + std::string(day < 10 ? "0" : "") + std::to_string(day) + "\n";
    const int dice = int(rng() % 4);
    if (dice == 0) {
      const Items n = int64_t(rng() % 500 + 1);
      text += "    Stocks:K " + moneyStr(n) + "@" + moneyStr(int64_t(rng() % 900 + 1)) + "\n";
      held += n;
    } else if (dice == 1 && held > 0) {
      const Items n = int64_t(rng() % uint64_t(held)) + 1;
      text += "    Stocks:K -" + moneyStr(n) + "@\n";
      held -= n;
    } else {
      text += std::string(rng() % 2 ? "    Sub " : "    Other ") +
              moneyStr(int64_t(rng() % 4000) - 2000) + "\n";
    }
    text += rng() % 2 ? "    Cash\n" : "    Eq\n";
  }
  const Ledger l = parsedOk(text);
  ASSERT_TRUE(canReport(l));
  const auto dateOf = [&](int64_t sp) { return l.transactions[l.splits[sp].traPos].date; };
  const auto where = [&](Datum ds, Datum de, int64_t sp) {
    if (l.splits[sp].traPos == 0 || dateOf(sp) < ds) return -1;
    return dateOf(sp) > de ? 1 : 0;
  };
  for (int q = 0; q < 200; ++q) {
    const Datum ds = 20200101 + int64_t(rng() % uint64_t(day + 2));
    const Datum de = ds + int64_t(rng() % 10);
    for (int64_t a = 0; a < std::ssize(l.accounts); ++a) {
      Sums want;
      Money before = 0;
      for (int64_t sp = 0; sp < std::ssize(l.splits); ++sp) {
        const Split& s = l.splits[sp];
        if (s.accountPos != a) continue;
        if (s.traPos == 0 || dateOf(sp) < ds) before = s.balance;
        const int w = where(ds, de, sp);
        if (w == 1) break;
        want.balance = s.balance;
        if (w == 0) (s.money >= 0 ? want.debit : want.credit) += s.money >= 0 ? s.money : -s.money;
      }
      const Sums got = accountSums(l, a, ds, de);
      EXPECT_EQ(got.debit, want.debit) << a << " " << ds << " " << de;
      EXPECT_EQ(got.credit, want.credit) << a << " " << ds << " " << de;
      EXPECT_EQ(got.balance, want.balance) << a << " " << ds << " " << de;
      EXPECT_EQ(accountBalanceAt(l, a, ds), before) << a << " " << ds;
    }
    const Sums tree = subtreeSums(l, 0, ds, de);
    Sums parts;
    for (int64_t a = 0; a <= 2; ++a) {
      const Sums s = accountSums(l, a, ds, de);
      parts.debit += s.debit;
      parts.credit += s.credit;
      parts.balance += s.balance;
    }
    EXPECT_EQ(tree.debit, parts.debit);
    EXPECT_EQ(tree.credit, parts.credit);
    EXPECT_EQ(tree.balance, parts.balance);

    KindSums want;
    int64_t lastBefore = -1;
    for (int64_t sp = 0; sp < std::ssize(l.splits); ++sp) {
      if (l.splits[sp].kindPos != 0) continue;
      if (l.splits[sp].traPos == 0 || dateOf(sp) < ds) lastBefore = sp;
      const int w = where(ds, de, sp);
      if (w == 1) break;
      const Items items = itemsOfSplit(l.slots, sp);
      want.items += items;
      want.money += l.splits[sp].money;
      if (w == 0) (items > 0 ? want.itemsIn : want.itemsOut) += items > 0 ? items : -items;
    }
    const KindSums got = kindSums(l, 0, ds, de);
    EXPECT_EQ(got.itemsIn, want.itemsIn) << ds << " " << de;
    EXPECT_EQ(got.itemsOut, want.itemsOut) << ds << " " << de;
    EXPECT_EQ(got.items, want.items) << ds << " " << de;
    EXPECT_EQ(got.money, want.money) << ds << " " << de;
    const Holding at = kindTotalAt(l, 0, ds);
    const Holding atWant = lastBefore < 0 ? Holding{} : kindTotal(l.slots, 0, lastBefore);
    EXPECT_EQ(at.items, atWant.items) << ds;
    EXPECT_EQ(at.money, atWant.money) << ds;
  }
}

}  // namespace
}  // namespace murex
