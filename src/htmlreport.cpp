#include "htmlreport.h"

#include <cassert>
#include <string>
#include <string_view>
#include <vector>

#include "account.h"
#include "amount.h"
#include "datum.h"
#include "inventory.h"
#include "ledgertext.h"
#include "queries.h"
#include "balances.h"
#include "reportcells.h"
#include "rows.h"
#include "digits.h"
#include "html.h"
#include "template.h"

namespace murex {

namespace {

std::string decimal(int64_t n) { return std::to_string(n); }

// A class attribute, or nothing for an empty class.
std::string classAttr(std::string_view cls) {
  if (cls.empty()) return "";
  std::string out = " class=\"";
  out += cls;
  out += '"';
  return out;
}

std::vector<ReportRow> accountRowList(const ReportRequest& req, int64_t accountPos,
                                      std::string_view filter) {
  std::vector<ReportRow> rows;
  for (const RowValues& v : accountRowValues(req, accountPos, filter))
    rows.push_back(accountReportRow(req, v, filter));
  return rows;
}

// The HTML rows of a transaction report; the kind report's show the average price too,
// and write the row's class attribute even when it is empty.
std::string rowsHtml(const std::vector<ReportRow>& rows, bool withAverage) {
  std::string out;
  for (const ReportRow& r : rows) {
    out += "<tr";
    if (withAverage) {
      out += " class=\"";
      out += r.classR;
      out += '"';
    } else {
      out += classAttr(r.classR);
    }
    out += " data-spos=\"";
    out += decimal(r.splitPos);
    out += "\"><td>";
    out += r.date;
    out += "</td><td>";
    out += r.debit;
    out += "</td><td>";
    out += r.credit;
    out += "</td><td";
    out += classAttr(r.classB);
    out += '>';
    out += r.balance;
    if (withAverage) {
      out += "</td><td>";
      out += r.avg;
    }
    out += "</td><td>";
    out += r.descr;
    out += "</td></tr>\n";
  }
  return out;
}

// Every account and kind position of the ledger by account: kinds in kind order.
std::vector<std::vector<int64_t>> kindsByAccount(const Ledger& ledger) {
  std::vector<std::vector<int64_t>> kinds(ledger.accounts.size());
  for (int64_t k = 0; k < std::ssize(ledger.kinds); ++k)
    kinds[ledger.kinds[k].accountPos].push_back(k);
  return kinds;
}

}  // namespace

std::string balanceOfAccountsHtml(const ReportRequest& req) {
  assert(canReport(req.ledger));
  if (!canReport(req.ledger)) return "";
  const Ledger& ledger = req.ledger;
  const AccountBalances balances = accountBalances(req);
  std::string rows;
  for (const AccountBalance& b : balances.rows) {
    const AccountType type = accountType(ledger.accounts, b.accountPos);
    rows += "<tr class=\"typ";
    rows += type.effective;
    rows += "\"><td";
    rows += classAttr(type.positive ? "increase" : "");
    rows += '>';
    rows += moneyText(req, b.debit);
    rows += "</td><td";
    rows += classAttr(type.positive ? "" : "increase");
    rows += '>';
    rows += moneyText(req, b.credit);
    rows += "</td><td>";
    rows += moneyText(req, b.balance);
    rows += "</td><td><span class=\"ind";
    rows += decimal(accountLevel(ledger.accounts, b.accountPos));
    rows += "\"><a href=\"/#a";
    rows += decimal(b.accountPos);
    rows += "\">";
    rows += escapeHtml(accountDisplay(ledger.accounts[b.accountPos]));
    rows += "</a></span></td></tr>\n";
  }
  // Only the viewer shows the next opening transaction.
  const std::string nop = isLedgerClosed(ledger) ? highlightLedger(newOpeningText(ledger)) : "";
  return fillNamed(
      "<a id=\"a\"></a>\n"
      "<h1>Balance of accounts</h1>\n"
      "<table class=\"about\">\n"
      "<tr><th>File name:</th><td>$fileName</td></tr>\n"
      "<tr><th>Date period:</th><td>$perStart - $perEnd</td></tr>\n"
      "</table>\n"
      "<table id=\"balance\" class=\"murex\">\n"
      "<colgroup><col span=\"3\" class=\"amount\"><col span=\"1\" class=\"descr\"><col>"
      "</colgroup>\n"
      "<thead class=\"info\"><tr><th>Debit</th><th>Credit</th><th>End Balance</th>"
      "<th>Account name</th></tr></thead>\n"
      "<tbody>\n$rows</tbody>\n"
      "</table>\n"
      "<p><b>Profit/(Loss):</b> <span class=\"typI increase\">$profitLossA</span> - "
      "<span class=\"typE increase\">$profitLossB</span> = $profitLoss</p>\n"
      "<div id=\"nop\"><p>This ledger is closed. The <strong>opening transaction</strong> of "
      "the new period should start like this:</p>\n"
      "<pre data-lang=\"murex\">$nop</pre></div>\n",
      {{"fileName", escapeHtml(req.fileLabel)},
       {"perStart", dateText(req, req.fromDate)},
       {"perEnd", dateText(req, req.toDate)},
       {"rows", rows},
       {"profitLossA", moneyWord(req, balances.profit.income)},
       {"profitLossB", moneyWord(req, balances.profit.expenses)},
       {"profitLoss", moneyWord(req, balances.profit.profit)},
       {"nop", nop}});
}

std::string balanceOfInventoryHtml(const ReportRequest& req) {
  if (!canReport(req.ledger)) return "";
  std::string rows;
  for (const KindBalance& b : kindBalances(req)) {
    if (!rows.empty()) rows += '\n';
    rows += "<tr class=\"typA\"><td class=\"increase\">";
    rows += itemsText(req, b.sums.itemsIn);
    rows += "</td><td>";
    rows += itemsText(req, b.sums.itemsOut);
    rows += "</td><td>";
    rows += itemsText(req, b.sums.items);
    rows += "</td><td>";
    rows += averageText(req, b.sums.money, b.sums.items);
    rows += "</td><td><a href=\"/#i";
    rows += decimal(b.kindPos);
    rows += "\">";
    rows += escapeHtml(kindLabel(req.ledger.kinds, b.kindPos));
    rows += "</a></td></tr>\n";
  }
  return fillNamed(
      "<a id=\"i\"></a>\n"
      "<h1>Balance of inventory</h1>\n"
      "<table class=\"about\">\n"
      "<tr><th>Date period:</th><td>$perStart - $perEnd</td></tr>\n"
      "<tr><th>Unit:</th><td>$unitInfo</td></tr>\n"
      "</table>\n"
      "<table id=\"invbalance\" class=\"murex\">\n"
      "<colgroup><col span=\"4\" class=\"amount\"><col span=\"1\" class=\"descr\"><col>"
      "</colgroup>\n"
      "<thead class=\"info\"><tr><th>Debit</th><th>Credit</th><th>End Balance</th>"
      "<th>Avg. Price</th><th>Account name</th></tr></thead>\n"
      "<tbody>\n$rows</tbody>\n"
      "</table>\n",
      {{"perStart", dateText(req, req.fromDate)},
       {"perEnd", dateText(req, req.toDate)},
       {"rows", rows},
       {"unitInfo", unitsText}});
}

namespace {

std::string accountPage(const ReportRequest& req, int64_t accountPos, const std::string& rows) {
  const Ledger& ledger = req.ledger;
  assert(accountPos >= 0 && accountPos < std::ssize(ledger.accounts));
  const AccountType type = accountType(ledger.accounts, accountPos);
  const std::string typ(1, type.effective);
  return fillNamed(
      "<a id=\"a$accountPos\"></a>\n"
      "<h1>Account: $accName</h1>\n"
      "<table class=\"about\">\n"
      "<tr><th>Account type:</th><td><span class=\"typ$typ\">$accType</span></td></tr>\n"
      "<tr><th>Period:</th><td>$perStart - $perEnd</td></tr>\n"
      "<tr><th>On row click:</th><td><input type=\"radio\" name=\"rowmode\" id=\"rowselekt\">"
      "<label for=\"rowselekt\">Select</label> "
      "<input type=\"radio\" name=\"rowmode\" id=\"rowquery\" checked>"
      "<label for=\"rowquery\">Query</label></td></tr>\n"
      "</table>\n"
      "<table id=\"accounttbl\" class=\"murex typ$typ\">\n"
      "<colgroup class=\"date\"></colgroup><colgroup class=\"$debAmount\"></colgroup>"
      "<colgroup class=\"$credAmount\"></colgroup><colgroup class=\"amount\"></colgroup>"
      "<colgroup class=\"descr\"></colgroup>\n"
      "<thead class=\"info\"><tr><th>Date</th><th>Debit</th><th>Credit</th>"
      "<th>New Balance</th><th>Description</th></tr>\n"
      "<tr id=\"filtered\"><td>Selected:</td><td></td><td></td><td></td>"
      "<td><input type=\"text\" placeholder=\"Filter\" name=\"filter\"></td></tr></thead>\n"
      "<tbody id=\"records\">\n$rows</tbody>\n"
      "</table>\n",
      {{"accountPos", decimal(accountPos)},
       {"accName", escapeHtml(accountPath(ledger.accounts, accountPos).displayPath)},
       {"typ", typ},
       {"accType", accountTypeName(type.effective)},
       {"perStart", dateText(req, req.fromDate)},
       {"perEnd", dateText(req, req.toDate)},
       {"debAmount", type.positive ? "amount increase" : "amount"},
       {"credAmount", type.positive ? "amount" : "amount increase"},
       {"rows", rows}});
}

}  // namespace

std::string accountReport(const ReportRequest& req, int64_t accountPos) {
  if (!canReport(req.ledger)) return "";
  return accountPage(req, accountPos, rowsHtml(accountRowList(req, accountPos, ""), false));
}

std::string accountFrame(const ReportRequest& req, int64_t accountPos) {
  if (!canReport(req.ledger)) return "";
  return accountPage(req, accountPos, "");
}

// A filter row tells what it filters for.
ReportRow accountReportRow(const ReportRequest& req, const RowValues& v,
                           std::string_view filter) {
  ReportRow r = accountRowCells(req, v);
  if (v.kind == RowKind::Filter) r.descr = "Filtering for: " + escapeHtml(filter);
  return r;
}

std::string accountRows(const ReportRequest& req, int64_t accountPos, std::string_view filter) {
  assert(canReport(req.ledger));
  if (!canReport(req.ledger)) return "";
  return rowsHtml(accountRowList(req, accountPos, filter), false);
}

std::string kindReport(const ReportRequest& req, int64_t kindPos) {
  if (!canReport(req.ledger)) return "";
  std::vector<ReportRow> cells;
  for (const RowValues& v : kindRowValues(req, kindPos, "")) cells.push_back(kindRowCells(req, v));
  const std::string rows = rowsHtml(cells, true);
  return fillNamed(
      "<a id=\"i$kindPos\"></a>\n"
      "<h1>Inventory kind: $kindName</h1>\n"
      "<table class=\"about\">\n"
      "<tr><th>Period:</th><td>$perStart - $perEnd</td></tr>\n"
      "<tr><th>Unit:</th><td>$unitInfo</td></tr>\n"
      "</table>\n"
      "<table id=\"invtbl\" class=\"murex typA\">\n"
      "<colgroup class=\"date\"></colgroup><colgroup class=\"increase amount\"></colgroup>"
      "<colgroup class=\"amount\"></colgroup><colgroup class=\"amount\"></colgroup>"
      "<colgroup class=\"descr\"></colgroup>\n"
      "<thead class=\"info\"><tr><th>Date</th><th>Debit</th><th>Credit</th>"
      "<th>New Balance</th><th>Avg. Price</th><th>Description</th></tr></thead>\n"
      "<tbody>\n$rows</tbody>\n"
      "</table>\n"
      "<div id=\"invpopup\" hidden></div>\n",
      {{"kindPos", decimal(kindPos)},
       {"kindName", escapeHtml(kindLabel(req.ledger.kinds, kindPos))},
       {"perStart", dateText(req, req.fromDate)},
       {"perEnd", dateText(req, req.toDate)},
       {"unitInfo", unitsText},
       {"rows", rows}});
}

std::string selectionSums(const ReportRequest& req, std::string_view selection) {
  if (selection.empty() || !canReport(req.ledger)) return "";
  const Ledger& ledger = req.ledger;
  Money debit = 0;
  Money credit = 0;
  Money balance = 0;
  size_t begin = 0;
  while (true) {
    const size_t comma = selection.find(',', begin);
    const std::string_view piece = selection.substr(
        begin, comma == std::string_view::npos ? std::string_view::npos : comma - begin);
    // Anything but a known position answers nothing.
    int64_t sp = 0;
    if (!readNumber(piece, sp) || sp >= std::ssize(ledger.splits)) return "";
    const Money m = ledger.splits[sp].money;
    if (m > 0) debit = moneyAdd(debit, m);
    if (m < 0) credit = moneySub(credit, m);
    balance = moneyAdd(balance, m);
    if (comma == std::string_view::npos) break;
    begin = comma + 1;
  }
  return moneyText(req, debit) + "\n" + moneyText(req, credit) + "\n" + moneyText(req, balance);
}

std::string periodOptions(const ReportRequest& req) {
  const std::string current = decimal(req.period.year) + req.period.name;
  std::string out;
  for (const std::string& text :
       periodList(req.period.firstDate, req.period.lastDate, req.period.year)) {
    out += "  <option value=\"";
    out += text;
    out += '"';
    if (text == current) out += " selected";
    out += '>';
    out += text;
    out += "</option>\n";
  }
  return out;
}

std::string jumpMenu(const ReportRequest& req) {
  if (!canReport(req.ledger)) return "";
  const Ledger& ledger = req.ledger;
  std::string accList =
      "<li><a href=\"#a\"><strong>Balance</strong></a></li>\n"
      "<li><a href=\"#mon\"><strong>Month by month</strong></a></li>\n";
  std::string invList;
  const std::vector<std::vector<int64_t>> kinds = kindsByAccount(ledger);
  for (int64_t a = 0; a < std::ssize(ledger.accounts); ++a) {
    const Account& acc = ledger.accounts[a];
    accList += "<li><a href=\"#a";
    accList += decimal(a);
    accList += "\" class=\"ind";
    accList += decimal(accountLevel(ledger.accounts, a));
    accList += "\">";
    accList += acc.name;
    accList += "</a> ";
    if (!acc.description.empty()) {
      accList += '(';
      accList += escapeHtml(acc.description);
      accList += ')';
    }
    accList += "</li>\n";
    for (const int64_t k : kinds[a]) {
      const Kind& kind = ledger.kinds[k];
      invList += "<li><a href=\"#i";
      invList += decimal(k);
      invList += "\">";
      invList += acc.name;
      invList += ':';
      invList += kind.name;
      invList += "</a> (";
      invList += escapeHtml(kind.description.empty() ? kind.name : kind.description);
      invList += ")</li>\n";
    }
  }
  if (invList.empty()) {
    invList = "<li>No items found</li>\n";
  } else {
    invList.insert(0, "<li><a href=\"#i\"><strong>Balance</strong></a></li>\n");
  }
  return fillNamed(
      "<table class=\"about\">\n"
      "<tr><th>Filename:</th><td>$fileName</td></tr>\n"
      "<tr><th>Fin. period:</th><td><select name=\"period\">\n$changePer</select></td></tr>\n"
      "<tr><th>Future transactions:</th><td><input type=\"checkbox\" "
      "name=\"futureShow\"$futureShow>Show</td></tr>\n"
      "</table>\n"
      "<h3>Accounts</h3>\n<ul>\n$accList</ul>\n"
      "<h3>Inventory</h3>\n<ul>\n$invList</ul>\n",
      {{"fileName", escapeHtml(req.fileLabel)},
       {"changePer", periodOptions(req)},
       {"futureShow", req.period.future ? " checked" : ""},
       {"accList", accList},
       {"invList", invList}});
}

}  // namespace murex
