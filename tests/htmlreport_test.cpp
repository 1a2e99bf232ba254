// htmlreport: the viewer's HTML fragments, as whole strings where the layout matters, by
// their telling parts elsewhere; where a rule differs by form, the console text beside them.
#include "htmlreport.h"

#include <gtest/gtest.h>

#include <string>

#include "error.h"
#include "textreport.h"
#include "report_books.h"

namespace murex {
namespace {

TEST(BalanceOfAccounts, HtmlFragment) {
  const App app = appOf(small);
  EXPECT_EQ(
      balanceOfAccountsHtml(reportRequest(app)),
      "<a id=\"a\"></a>\n"
      "<h1>Balance of accounts</h1>\n"
      "<table class=\"about\">\n"
      "<tr><th>File name:</th><td>house.ledger</td></tr>\n"
      "<tr><th>Date period:</th><td>2023-01-01 - 2023-12-31</td></tr>\n"
      "</table>\n"
      "<table id=\"balance\" class=\"murex\">\n"
      "<colgroup><col span=\"3\" class=\"amount\"><col span=\"1\" class=\"descr\"><col>"
      "</colgroup>\n"
      "<thead class=\"info\"><tr><th>Debit</th><th>Credit</th><th>End Balance</th>"
      "<th>Account name</th></tr></thead>\n"
      "<tbody>\n"
      "<tr class=\"typA\"><td class=\"increase\">100 </td><td>50 </td><td>150 </td><td><span "
      "class=\"ind0\"><a href=\"/#a0\">Bank</a></span></td></tr>\n"
      "<tr class=\"typL\"><td>40 </td><td class=\"increase\">30 </td><td>10 </td><td><span "
      "class=\"ind0\"><a href=\"/#a1\">Credit &lt;card&gt;</a></span></td></tr>\n"
      "<tr class=\"typC\"><td>- </td><td class=\"increase\">- </td><td>(100)</td><td><span "
      "class=\"ind0\"><a href=\"/#a2\">Equity</a></span></td></tr>\n"
      "<tr class=\"typI\"><td>- </td><td class=\"increase\">- </td><td>(90)</td><td><span "
      "class=\"ind0\"><a href=\"/#a3\">Income</a></span></td></tr>\n"
      "<tr class=\"typI\"><td>10 </td><td class=\"increase\">100 </td><td>(90)</td><td><span "
      "class=\"ind1\"><a href=\"/#a4\">Salary</a></span></td></tr>\n"
      "<tr class=\"typE\"><td class=\"increase\">30 </td><td>- </td><td>30 </td><td><span "
      "class=\"ind0\"><a href=\"/#a5\">Expenses</a></span></td></tr>\n"
      "</tbody>\n"
      "</table>\n"
      "<p><b>Profit/(Loss):</b> <span class=\"typI increase\">100</span> - <span class=\"typE "
      "increase\">30</span> = 70</p>\n"
      "<div id=\"nop\"><p>This ledger is closed. The <strong>opening transaction</strong> of "
      "the new period should start like this:</p>\n"
      "<pre data-lang=\"murex\"></pre></div>\n");
}

TEST(BalanceOfAccounts, ShowsTheNextOpeningWhenClosed) {
  const App app = appOf(
      "2023-01-01 Opening\n  Bank 10 ; @A\n  Eq -10 ; @C\n  In 0 ; @I\n"
      "2023-06-01 Gift\n  Bank 5\n  In\n"
      "2023-12-31 Close\n  In close\n  Eq\n");
  const std::string html = balanceOfAccountsHtml(reportRequest(app));
  EXPECT_TRUE(contains(html,
                       "<pre data-lang=\"murex\"><span class=\"Datum\">2024-01-01</span> <span "
                       "class=\"Description\">Opening transaction</span>\n  <span "
                       "class=\"Account\">Bank</span> <span class=\"Amount\">15</span> <span "
                       "class=\"Comment\">;</span> <span class=\"Tag\">@A</span>\n"))
      << html;
  EXPECT_FALSE(contains(balanceOfAccountsHtml(reportRequest(appOf(small))), "Datum"));
}

TEST(BalanceOfAccounts, PeriodSumOverflowIsAnError) {
  const App app = appOf(
      "2023-01-01 O\n  A 0\n  B 0\n"
      "2023-02-01 x\n  A 90000000000000000\n  B\n"
      "2023-02-02 x\n  A -90000000000000000\n  B\n"
      "2023-02-03 x\n  A 90000000000000000\n  B\n");
  try {
    balanceOfAccountsText(reportRequest(app), false);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message, "Arithmetic overflow");
  }
}

TEST(BalanceOfInventory, HtmlRowsAndAverages) {
  const App app = appOf(stocks);
  // ACME: 2 items worth 3.00 in a ledger without cents: the average 1.50 keeps its cents.
  // DUST: no items, a residue of 0.01: the average is zero.
  EXPECT_EQ(balanceOfInventoryHtml(reportRequest(app)),
            "<a id=\"i\"></a>\n"
            "<h1>Balance of inventory</h1>\n"
            "<table class=\"about\">\n"
            "<tr><th>Date period:</th><td>2023-01-01 - 2023-12-31</td></tr>\n"
            "<tr><th>Unit:</th><td>Number of items (for Debit, Credit and Balance) and Money "
            "(for Average)</td></tr>\n"
            "</table>\n"
            "<table id=\"invbalance\" class=\"murex\">\n"
            "<colgroup><col span=\"4\" class=\"amount\"><col span=\"1\" class=\"descr\"><col>"
            "</colgroup>\n"
            "<thead class=\"info\"><tr><th>Debit</th><th>Credit</th><th>End Balance</th>"
            "<th>Avg. Price</th><th>Account name</th></tr></thead>\n"
            "<tbody>\n"
            "<tr class=\"typA\"><td class=\"increase\">1.00 </td><td>- </td><td>2.00 </td>"
            "<td>1.50 </td><td><a href=\"/#i0\">ACME (Acme &lt;shares&gt;)</a></td></tr>\n"
            "\n"
            "<tr class=\"typA\"><td class=\"increase\">- </td><td>3.00 </td><td>- </td><td>- "
            "</td><td><a href=\"/#i1\">DUST ()</a></td></tr>\n"
            "</tbody>\n"
            "</table>\n");
}

TEST(BalanceOfInventory, WithoutKinds) {
  const App app = appOf(small);
  EXPECT_TRUE(contains(balanceOfInventoryHtml(reportRequest(app)), "<tbody>\n</tbody>"));
  EXPECT_EQ(balanceOfInventoryText(reportRequest(app)),
            "Balance of inventory\n\nDate period: 2023-01-01 - 2023-12-31\n\n"
            "Debit │ Credit │ Balance │ Avg. Price │ Name\n");
  EXPECT_EQ(balanceOfInventoryText(unreportable()), "");
}

TEST(AccountRows, ClassesAndOpeningRow) {
  const App app = appOf(small);
  // Card is a liability: a positive balance is a warning, zero is not.
  EXPECT_EQ(accountRows(reportRequest(app), 1, ""),
            "<tr class=\"info\" data-spos=\"-1\"><td>2023-01-01</td><td>- </td><td>- </td>"
            "<td>- </td><td>Period opening balance</td></tr>\n"
            "<tr data-spos=\"11\"><td>2023-04-01</td><td>- </td><td>30 </td><td>(30)</td>"
            "<td>Shop</td></tr>\n"
            "<tr data-spos=\"12\"><td>2023-05-01</td><td>40 </td><td>- </td>"
            "<td class=\"warning\">10 </td><td>Card paid twice</td></tr>\n"
            "<tr class=\"info\" data-spos=\"-1\"><td></td><td>40 </td><td>30 </td><td>- </td>"
            "<td>Sums</td></tr>\n"
            "<tr class=\"info\" data-spos=\"-1\"><td></td><td>10 </td><td>- </td><td>- </td>"
            "<td>Change</td></tr>\n");
}

TEST(AccountRows, FilterRowIsEscapedInHtmlOnly) {
  const App app = appOf(small);
  const std::string rows = accountRows(reportRequest(app), 5, "<i> food");
  EXPECT_TRUE(
      rows.starts_with("<tr class=\"info\" data-spos=\"-1\"><td></td><td>- </td><td>- "
                       "</td><td>- </td><td>Filtering for: &lt;i&gt; food</td></tr>\n"))
      << rows;
  EXPECT_TRUE(contains(rows, "<td>Shop: food</td>"));
  const std::string text = accountReportText(reportRequest(app), 5, "Foo", false);
  EXPECT_TRUE(contains(text, "│ Filtering for: Foo\n")) << text;
  EXPECT_FALSE(contains(accountReportText(reportRequest(app), 5, "<i>Food", false), "Shop"))
      << "'<i>food'";
}

// Bytes of broken UTF-8 in a filter are code points of their own: no crash, no match.
TEST(AccountRows, FilterWithInvalidUtf8) {
  const App app = appOf(small);
  const std::string rows = accountRows(reportRequest(app), 5, "\xc3 \xff\xfe");
  EXPECT_FALSE(contains(rows, "Shop"));
  EXPECT_TRUE(contains(accountRows(reportRequest(app), 5, "\xc3 food"), "Shop: food"));
}

TEST(AccountReport, HtmlSection) {
  const App app = appOf(small);
  const std::string html = accountReport(reportRequest(app), 4);
  EXPECT_TRUE(html.starts_with(
      "<a id=\"a4\"></a>\n"
      "<h1>Account: Income:Salary</h1>\n"
      "<table class=\"about\">\n"
      "<tr><th>Account type:</th><td><span class=\"typI\">Income</span></td></tr>\n"
      "<tr><th>Period:</th><td>2023-01-01 - 2023-12-31</td></tr>\n"
      "<tr><th>On row click:</th><td><input type=\"radio\" name=\"rowmode\" id=\"rowselekt\">"
      "<label for=\"rowselekt\">Select</label> <input type=\"radio\" name=\"rowmode\" "
      "id=\"rowquery\" checked><label for=\"rowquery\">Query</label></td></tr>\n"
      "</table>\n"
      "<table id=\"accounttbl\" class=\"murex typI\">\n"
      "<colgroup class=\"date\"></colgroup><colgroup class=\"amount\"></colgroup>"
      "<colgroup class=\"amount increase\"></colgroup><colgroup class=\"amount\"></colgroup>"
      "<colgroup class=\"descr\"></colgroup>\n"
      "<thead class=\"info\"><tr><th>Date</th><th>Debit</th><th>Credit</th>"
      "<th>New Balance</th><th>Description</th></tr>\n"
      "<tr id=\"filtered\"><td>Selected:</td><td></td><td></td><td></td>"
      "<td><input type=\"text\" placeholder=\"Filter\" name=\"filter\"></td></tr></thead>\n"
      "<tbody id=\"records\">\n"
      "<tr class=\"info\" data-spos=\"-1\">"))
      << html;
  EXPECT_TRUE(html.ends_with("<td>Change</td></tr>\n</tbody>\n</table>\n"));
  EXPECT_TRUE(
      contains(accountReport(reportRequest(app), 1), "<h1>Account: Credit &lt;card&gt;</h1>"));
  EXPECT_EQ(accountReport(unreportable(), 0), "");
}

TEST(KindReport, HtmlKeepsEmptyClassesOfSplitRows) {
  const App app = appOf(stocks);
  const std::string html = kindReport(reportRequest(app), 0);
  EXPECT_TRUE(
      html.starts_with("<a id=\"i0\"></a>\n"
                       "<h1>Inventory kind: ACME (Acme &lt;shares&gt;)</h1>\n"))
      << html;
  EXPECT_TRUE(contains(html,
                       "<tbody>\n"
                       "<tr class=\"info\" data-spos=\"-1\"><td></td><td>- </td><td>- </td>"
                       "<td>1.00 </td><td>1.00 </td><td>Opening balance</td></tr>\n"
                       "<tr class=\"\" data-spos=\"4\"><td>2023-02-01</td><td>1.00 </td>"
                       "<td>- </td><td>2.00 </td><td>1.50 </td><td>Buy</td></tr>\n"))
      << html;
  EXPECT_TRUE(
      html.ends_with("</tbody>\n</table>\n<div id=\"invpopup\" hidden></div>\n"));
}

TEST(SelectionSums, SumsValidPositionsOnly) {
  const App app = appOf(small);
  // Split 6 is Bank +100, split 10 Expenses +30, split 11 Card -30; 14 splits.
  const struct {
    std::string_view selection, want;
  } cases[] = {
      {"6,11", "100 \n30 \n70 "},
      {"11", "- \n30 \n(30)"},
      {"6,6", "200 \n- \n200 "},
      {"", ""},
      {"6,,11", ""},
      {"6,", ""},
      {"x", ""},
      {"-1", ""},
      {"+6", ""},
      {"13", "- \n40 \n(40)"},
      {"14", ""},  // one past the last split
      {"99999999999999999999999", ""},
      {"00000000000000000000006,0000000000000000000000000011", "100 \n30 \n70 "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(selectionSums(reportRequest(app), c.selection), c.want) << c.selection;
  EXPECT_EQ(selectionSums(unreportable(), "1"), "");
}

TEST(JumpMenu, LinksPeriodsAndTheFutureSwitch) {
  App app = appOf(stocks);
  app.args.fileName = "a\"<b>.ledger";
  app.period.future = true;
  EXPECT_EQ(jumpMenu(reportRequest(app)),
            "<table class=\"about\">\n"
            "<tr><th>Filename:</th><td>a\"&lt;b&gt;.ledger</td></tr>\n"
            "<tr><th>Fin. period:</th><td><select name=\"period\">\n" +
                periodOptions(reportRequest(app)) +
                "</select></td></tr>\n"
                "<tr><th>Future transactions:</th><td><input type=\"checkbox\" name=\"futureShow\" "
                "checked>Show</td></tr>\n"
                "</table>\n"
                "<h3>Accounts</h3>\n<ul>\n"
                "<li><a href=\"#a\"><strong>Balance</strong></a></li>\n"
                "<li><a href=\"#mon\"><strong>Month by month</strong></a></li>\n"
                "<li><a href=\"#a0\" class=\"ind0\">Depot</a> </li>\n"
                "<li><a href=\"#a1\" class=\"ind0\">Eq</a> </li>\n"
                "</ul>\n"
                "<h3>Inventory</h3>\n<ul>\n"
                "<li><a href=\"#i\"><strong>Balance</strong></a></li>\n"
                "<li><a href=\"#i0\">Depot:ACME</a> (Acme &lt;shares&gt;)</li>\n"
                "<li><a href=\"#i1\">Depot:DUST</a> (DUST)</li>\n"
                "</ul>\n");
  const App plain = appOf(small);
  const std::string menu = jumpMenu(reportRequest(plain));
  EXPECT_TRUE(contains(menu, "<ul>\n<li>No items found</li>\n</ul>\n")) << menu;
  EXPECT_TRUE(contains(menu,
                       "<li><a href=\"#a1\" class=\"ind0\">Card</a> (Credit &lt;card&gt;)"
                       "</li>\n<li><a href=\"#a2\" class=\"ind0\">Equity</a> </li>\n"
                       "<li><a href=\"#a3\" class=\"ind0\">Income</a> </li>\n"
                       "<li><a href=\"#a4\" class=\"ind1\">Salary</a> </li>\n"));
  EXPECT_TRUE(contains(menu, "name=\"futureShow\">Show"));
  EXPECT_EQ(jumpMenu(unreportable()), "");
}

TEST(PeriodOptions, MarksExactlyTheCurrentPeriod) {
  App app = appOf(small);
  app.period.name = "Q2";
  const std::string options = periodOptions(reportRequest(app));
  EXPECT_TRUE(contains(options, "  <option value=\"2023Q2\" selected>2023Q2</option>\n"))
      << options;
  EXPECT_EQ(options.find(" selected"), options.rfind(" selected"));
  EXPECT_TRUE(contains(options, "  <option value=\"2023Q1\">2023Q1</option>\n"));
}

}  // namespace
}  // namespace murex
