// Twelve columns of amounts must fit a terminal: the months share one table cell, each
// month right-aligned to its own width and one blank apart, between the account names and
// the total.
#include "monthlyreport.h"

#include <cassert>

#include "account.h"
#include "amount.h"
#include "monthly.h"
#include "queries.h"
#include "html.h"
#include "template.h"
#include "texttable.h"
#include "unicode.h"

namespace murex {

namespace {

constexpr std::string_view profitLabel = "Profit/(Loss)";

std::string moneyText(const ReportRequest& req, Money m) {
  return reportMoney(m, req.numberPattern, req.ledger.moneyWhole);
}

std::string monthLabel(const DateRange& month) {
  return std::string(monthName(monthOf(month.first)));
}

std::string shownText(bool balances) {
  return balances ? "Balance at the end of each month" : "Change in each month";
}

void padLeft(std::string& out, std::string_view cell, int64_t width) {
  out.append(static_cast<size_t>(std::max<int64_t>(0, width - codePointCount(cell))), ' ');
  out += cell;
}

}  // namespace

std::string monthKey(const DateRange& month) {
  const int64_t y = yearOf(month.first);
  const int64_t m = monthOf(month.first);
  return std::to_string(y) + (m < 10 ? "-0" : "-") + std::to_string(m);
}

MonthlyView monthlyView(const ReportRequest& req, int64_t accountPos, bool balances,
                        std::string_view filter) {
  const Ledger& ledger = req.ledger;
  assert(canReport(ledger));
  const MonthlyFigures f = monthlyFigures(ledger, req.fromDate, req.toDate, filter);
  MonthlyView view{.balances = balances, .months = f.months};
  const size_t nm = f.months.size();
  const int64_t first = accountPos < 0 ? 0 : accountPos;
  for (int64_t a = first; a < std::ssize(ledger.accounts); ++a) {
    if (accountPos >= 0 && a > accountPos && !isSubAccount(ledger.accounts, accountPos, a)) break;
    MonthlyRow row{.accountPos = a, .months = std::vector<Money>(nm, 0)};
    row.total = balances ? f.opening[a] : 0;
    for (size_t m = 0; m < nm; ++m) {
      const Sums& s = f.at(a, m);
      if (balances) {
        row.months[m] = s.balance;
        row.total = s.balance;
      } else {
        row.months[m] = moneySub(s.debit, s.credit);
        row.total = moneyAdd(row.total, row.months[m]);
        const Sums& c = f.closingAt(a, m);
        row.closing = moneyAdd(row.closing, moneySub(c.debit, c.credit));
      }
    }
    if (!balances && f.closingCount[a] > 0) view.hasClosing = true;
    view.rows.push_back(std::move(row));
  }
  if (accountPos < 0) {
    view.hasProfit = true;
    MonthlyRow row{.months = monthlyProfit(ledger, f)};
    // A balance is what it is: the closing counts in its month.
    const std::vector<Money> closing = closingProfit(ledger, f);
    for (size_t m = 0; m < nm; ++m) {
      if (balances) {
        row.months[m] = moneyAdd(row.months[m], closing[m]);
      } else {
        row.closing = moneyAdd(row.closing, closing[m]);
      }
      row.total = moneyAdd(row.total, row.months[m]);
      if (balances) row.months[m] = row.total;
    }
    view.rows.push_back(std::move(row));
  }
  return view;
}

std::string monthlyReportText(const ReportRequest& req, int64_t accountPos, bool balances,
                              std::string_view filter, bool ascii) {
  const Ledger& ledger = req.ledger;
  const MonthlyView view = monthlyView(req, accountPos, balances, filter);
  const size_t nm = view.months.size();
  // The cells of each month first, to know its width.
  std::vector<std::vector<std::string>> cells(view.rows.size());
  std::vector<int64_t> widths(nm);
  for (size_t m = 0; m < nm; ++m) widths[m] = codePointCount(monthLabel(view.months[m]));
  for (size_t r = 0; r < view.rows.size(); ++r) {
    for (size_t m = 0; m < nm; ++m) {
      cells[r].push_back(moneyText(req, view.rows[r].months[m]));
      widths[m] = std::max(widths[m], codePointCount(cells[r].back()));
    }
  }
  const auto block = [&](const auto& cellOf) {
    std::string out;
    for (size_t m = 0; m < nm; ++m) {
      if (m > 0) out += ' ';
      padLeft(out, cellOf(m), widths[m]);
    }
    return out;
  };
  // With balances the last month is the period's end: a total column would repeat it.
  const int64_t cols = balances ? 2 : view.hasClosing ? 4 : 3;
  std::vector<std::string> table = {"Account name",
                                    block([&](size_t m) { return monthLabel(view.months[m]); })};
  if (!balances) table.push_back("Total");
  if (view.hasClosing) table.push_back("Closing");
  for (size_t r = 0; r < view.rows.size(); ++r) {
    const MonthlyRow& row = view.rows[r];
    if (row.accountPos < 0) {
      table.emplace_back(profitLabel);
    } else {
      table.push_back(std::string(2 * static_cast<size_t>(accountLevel(ledger.accounts,
                                                                       row.accountPos)),
                                  ' ') +
                      std::string(accountDisplay(ledger.accounts[row.accountPos])));
    }
    table.push_back(block([&](size_t m) -> std::string_view { return cells[r][m]; }));
    if (!balances) table.push_back(moneyText(req, row.total));
    if (view.hasClosing) table.push_back(moneyText(req, row.closing));
  }
  std::vector<int64_t> separators = {1};
  if (view.hasProfit) separators.push_back(-1);

  std::string head = "Date period: " + formatDatum(req.fromDate, req.dateFormat) + " - " +
                     formatDatum(req.toDate, req.dateFormat) + "\nShown: " +
                     shownText(balances) + "\n";
  if (accountPos >= 0)
    head += "Account: " + accountPath(ledger.accounts, accountPos).displayPath + "\n";
  if (!filter.empty()) head += "Filtering for: " + std::string(filter) + "\n";
  return "Accounts month by month\n\n" + head + "\n" +
         textTable(table, cols, std::string_view("LRRR").substr(0, static_cast<size_t>(cols)),
                   separators, ascii);
}

std::string monthlyReport(const ReportRequest& req, int64_t accountPos, bool balances) {
  const Ledger& ledger = req.ledger;
  const MonthlyView view = monthlyView(req, accountPos, balances, "");
  const std::string pos = accountPos < 0 ? "" : std::to_string(accountPos);
  std::string head = "<tr><th>Account name</th>";
  for (const DateRange& m : view.months) head += "<th>" + monthLabel(m) + "</th>";
  if (!balances) head += "<th>Total</th>";
  if (view.hasClosing) head += "<th>Closing</th>";
  head += "</tr>";

  std::string rows;
  for (const MonthlyRow& row : view.rows) {
    const std::string a = std::to_string(row.accountPos);
    if (row.accountPos < 0) {
      rows += "<tr class=\"info\"><td>";
      rows += profitLabel;
      rows += "</td>";
    } else {
      rows += "<tr class=\"typ";
      rows += accountType(ledger.accounts, row.accountPos).effective;
      rows += "\"><td><span class=\"ind";
      rows += std::to_string(accountLevel(ledger.accounts, row.accountPos));
      rows += "\"><a href=\"#a" + a + "\">";
      rows += escapeHtml(accountDisplay(ledger.accounts[row.accountPos]));
      rows += "</a></span></td>";
    }
    for (size_t m = 0; m < view.months.size(); ++m) {
      const std::string amount = moneyText(req, row.months[m]);
      if (row.accountPos < 0) {
        rows += "<td>" + amount + "</td>";
      } else {
        // The account's own report for the month: its transactions of the month.
        rows += "<td><a href=\"#a" + a + "/" + monthKey(view.months[m]) + "\">" + amount +
                "</a></td>";
      }
    }
    // The total and the closing come from the account's whole register.
    const auto wholeCell = [&](Money m) {
      const std::string amount = moneyText(req, m);
      return row.accountPos < 0 ? "<td>" + amount + "</td>"
                                : "<td><a href=\"#a" + a + "\">" + amount + "</a></td>";
    };
    if (!balances) rows += wholeCell(row.total);
    if (view.hasClosing) rows += wholeCell(row.closing);
    rows += "</tr>\n";
  }

  std::string account;
  if (accountPos >= 0) {
    account = "<tr><th>Account:</th><td><a href=\"#a" + pos + "\">" +
              escapeHtml(accountPath(ledger.accounts, accountPos).displayPath) +
              "</a> (<a href=\"#mon" + std::string(balances ? "b" : "") +
              "\">all accounts</a>)</td></tr>\n";
  }
  // The other way of showing the same accounts.
  const std::string other = "<a href=\"#mon" + std::string(balances ? "" : "b") + pos + "\">" +
                            shownText(!balances) + "</a>";
  return fillNamed(
      "<a id=\"mon$kind$pos\"></a>\n"
      "<h1>Accounts month by month</h1>\n"
      "<table class=\"about\">\n"
      "<tr><th>File name:</th><td>$fileName</td></tr>\n"
      "<tr><th>Date period:</th><td>$perStart - $perEnd</td></tr>\n"
      "$account"
      "<tr><th>Shown:</th><td>$shown (or: $other)</td></tr>\n"
      "</table>\n"
      "<table id=\"monthly\" class=\"murex\">\n"
      "<thead class=\"info\">$head</thead>\n"
      "<tbody>\n$rows</tbody>\n"
      "</table>\n",
      {{"kind", balances ? "b" : ""},
       {"pos", pos},
       {"fileName", escapeHtml(req.fileLabel)},
       {"perStart", formatDatum(req.fromDate, req.dateFormat)},
       {"perEnd", formatDatum(req.toDate, req.dateFormat)},
       {"account", account},
       {"shown", shownText(balances)},
       {"other", other},
       {"head", head},
       {"rows", rows}});
}

}  // namespace murex
