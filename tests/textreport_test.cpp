// textreport: the console reports as whole texts.
#include "textreport.h"

#include <gtest/gtest.h>

#include <string>

#include "report_books.h"

namespace murex {
namespace {

TEST(BalanceOfAccounts, ConsoleText) {
  const App app = appOf(small, 20230201, 20230331);
  EXPECT_EQ(balanceOfAccountsText(reportRequest(app), true),
            "Balance of accounts\n\n"
            "Date period: 2023-02-01 - 2023-03-31\n\n"
            "Debit | Credit | End Balance | Account name\n"
            "--------------------------------------------\n"
            " 100  |    10  |        190  | Bank\n"
            "   -  |     -  |          -  | Credit <card>\n"
            "   -  |     -  |       (100) | Equity\n"
            "   -  |     -  |        (90) | Income\n"
            "  10  |   100  |        (90) |   Salary\n"
            "   -  |     -  |          -  | Expenses\n"
            "\n\n"
            "Profit/(Loss) for the period: 100\n");
}

TEST(BalanceOfAccounts, ProfitOrLossFigures) {
  const struct {
    std::string_view ledger, want;
  } cases[] = {
      // A loss shows in parentheses without a trailing blank.
      {"2023-01-01 O\n  B 0\n  I 0 ; @I\n  E 0 ; @E\n2023-02-01 x\n  E 20.5\n  B\n",
       "Profit/(Loss) for the period: (20.50)\n"},
      // Without an expense root, no figure at all.
      {"2023-01-01 O\n  B 0\n  I 0 ; @I\n2023-02-01 x\n  I -20\n  B\n",
       "Profit/(Loss) for the period: -\n"},
  };
  for (const auto& c : cases) {
    const std::string text = balanceOfAccountsText(reportRequest(appOf(c.ledger)), false);
    EXPECT_TRUE(text.ends_with(c.want)) << text;
  }
}

// In a ledger without cents an average may still have them; with no item left it is zero.
TEST(BalanceOfInventory, AveragesInALedgerWithoutCents) {
  const App app = appOf(
      "2023-01-01 O\n  D 0 ; @A\n  D:X 1@1\n  E -1\n"
      "2023-02-01 b\n  D:X 1@2\n  E\n");
  ASSERT_TRUE(app.ledger->moneyWhole);
  EXPECT_TRUE(balanceOfInventoryText(reportRequest(app))
                  .ends_with("\n   1  │     -  │      2  │      1.50  │ X ()\n"));
  EXPECT_TRUE(contains(kindReportText(reportRequest(app), 0, false, ""),
                       "│      1  │         1  │ Opening balance\n"));
}

TEST(KindReportText, ConsoleRowsWithFilter) {
  const App app = appOf(stocks);
  EXPECT_EQ(kindReportText(reportRequest(app), 1, true, "rest"),
            "Inventory for DUST ()\n\n"
            "Period: 2023-01-01 - 2023-12-31\n"
            "Units: Number of items (for Debit, Credit and Balance) and Money (for Average)\n\n"
            "Date       | Debit | Credit | Balance | Avg. price | Description\n"
            "------------------------------------------------------------------------\n"
            "           |    -  |     -  |      -  |         -  | Filtering for: rest\n"
            "2023-03-01 |    -  |  1.50  |      -  |         -  | Sell dust ; rest\n"
            "------------------------------------------------------------------------\n"
            "           |    -  |  1.50  |      -  |         -  | Sums\n"
            "           |    -  |  1.50  |      -  |         -  | Change\n");
}

}  // namespace
}  // namespace murex
