// The reports: figures come from the ledger queries, cells go through textTable on the
// console and into HTML fragments for the viewer.
#include "report.h"

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
#include "rows.h"
#include "digits.h"
#include "html.h"
#include "template.h"
#include "texttable.h"

namespace murex {

namespace {

constexpr std::string_view unitInfo =
    "Number of items (for Debit, Credit and Balance) and Money (for Average)";

bool reportable(const ReportRequest& req) { return canReport(req.ledger); }

std::string decimal(int64_t n) { return std::to_string(n); }

std::string moneyText(const ReportRequest& req, Money m) {
  return reportMoney(m, req.numberPattern, req.ledger.moneyWhole);
}

std::string itemsText(const ReportRequest& req, Items n) {
  return reportMoney(n, req.numberPattern, req.ledger.itemsWhole);
}

// money / items; zero when nothing is held, also when a truncation residue of money is left.
std::string averageText(const ReportRequest& req, Money money, Items items) {
  const Money avg = averagePrice(money, items);
  return reportMoney(avg, req.numberPattern, req.ledger.moneyWhole && avg % 100 == 0);
}

std::string dateText(const ReportRequest& req, Datum d) { return formatDatum(d, req.dateFormat); }

// A class attribute, or nothing for an empty class.
std::string classAttr(std::string_view cls) {
  if (cls.empty()) return "";
  std::string out = " class=\"";
  out += cls;
  out += '"';
  return out;
}

void trimRight(std::string& s) {
  while (!s.empty() && (s.back() == ' ' || (s.back() >= '\t' && s.back() <= '\r'))) s.pop_back();
}

using Row = ReportRow;

// The cells every transaction report shares; the split rows' description comes with its
// comment after joint.
Row rowCells(const ReportRequest& req, const RowValues& v, std::string_view joint) {
  Row r{.splitPos = v.splitPos, .debit = moneyText(req, v.debit), .credit = moneyText(req, v.credit),
        .balance = "- ", .avg = "- "};
  switch (v.kind) {
    case RowKind::Split: {
      r.date = dateText(req, v.date);
      std::string text(v.description);
      if (!v.comment.empty()) {
        text += joint;
        text += v.comment;
      }
      r.descr = escapeHtml(text);
      break;
    }
    case RowKind::Opening:
    case RowKind::Filter:
      break;
    case RowKind::Sums:
      r.descr = "Sums";
      break;
    case RowKind::Change:
      r.descr = "Change";
      break;
  }
  if (v.kind != RowKind::Split) r.classR = "info";
  if (v.warning) r.classB = "warning";
  return r;
}

Row accountRow(const ReportRequest& req, const RowValues& v, std::string_view filter, bool html) {
  Row r = rowCells(req, v, ": ");
  if (v.held) r.balance = moneyText(req, v.balance);
  if (v.kind == RowKind::Opening) {
    r.date = dateText(req, v.date);
    r.descr = "Period opening balance";
  } else if (v.kind == RowKind::Filter) {
    r.descr = "Filtering for: ";
    r.descr += html ? escapeHtml(filter) : std::string(filter);
  }
  return r;
}

std::vector<Row> accountRowList(const ReportRequest& req, int64_t accountPos, std::string_view filter,
                                bool html) {
  std::vector<Row> rows;
  for (const RowValues& v : accountRowValues(req, accountPos, filter))
    rows.push_back(accountRow(req, v, filter, html));
  return rows;
}

// The HTML rows of a transaction report; the kind report's show the average price too,
// and write the row's class attribute even when it is empty.
std::string rowsHtml(const std::vector<Row>& rows, bool withAverage) {
  std::string out;
  for (const Row& r : rows) {
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

std::vector<Row> kindRowList(const ReportRequest& req, int64_t kindPos, std::string_view filter) {
  std::vector<Row> rows;
  for (const RowValues& v : kindRowValues(req, kindPos, filter)) {
    Row r = rowCells(req, v, " ; ");
    r.debit = itemsText(req, v.debit);
    r.credit = itemsText(req, v.credit);
    if (v.held) {
      r.balance = itemsText(req, v.balance);
      r.avg = averageText(req, v.value, v.balance);
    }
    if (v.kind == RowKind::Opening) {
      r.descr = "Opening balance";
    } else if (v.kind == RowKind::Filter) {
      r.descr = "Filtering for: " + std::string(filter);
    }
    rows.push_back(std::move(r));
  }
  return rows;
}

// Every account and kind position of the ledger by account: kinds in kind order.
std::vector<std::vector<int64_t>> kindsByAccount(const Ledger& ledger) {
  std::vector<std::vector<int64_t>> kinds(ledger.accounts.size());
  for (int64_t k = 0; k < std::ssize(ledger.kinds); ++k)
    kinds[ledger.kinds[k].accountPos].push_back(k);
  return kinds;
}

}  // namespace

std::string balanceOfAccounts(const ReportRequest& req, bool html, bool ascii) {
  assert(reportable(req));
  if (!reportable(req)) return "";
  const Ledger& ledger = req.ledger;
  const int64_t n = std::ssize(ledger.accounts);
  const std::vector<Sums> subtrees = everySubtreeSums(ledger, req.fromDate, req.toDate);
  const auto subtree = [&](int64_t a) { return subtrees[static_cast<size_t>(a)]; };

  std::string rows;
  std::vector<std::string> cells = {"Debit", "Credit", "End Balance", "Account name"};
  if (!html) cells.reserve(4 * (ledger.accounts.size() + 1));
  for (int64_t a = 0; a < n; ++a) {
    const Account& acc = ledger.accounts[a];
    const AccountType type = accountType(ledger.accounts, a);
    const int64_t level = accountLevel(ledger.accounts, a);
    const Sums own = accountSums(ledger, a, req.fromDate, req.toDate);
    std::string debit = moneyText(req, own.debit);
    std::string credit = moneyText(req, own.credit);
    std::string balance = moneyText(req, subtree(a).balance);
    if (html) {
      rows += "<tr class=\"typ";
      rows += type.effective;
      rows += "\"><td";
      rows += classAttr(type.positive ? "increase" : "");
      rows += '>';
      rows += debit;
      rows += "</td><td";
      rows += classAttr(type.positive ? "" : "increase");
      rows += '>';
      rows += credit;
      rows += "</td><td>";
      rows += balance;
      rows += "</td><td><span class=\"ind";
      rows += decimal(level);
      rows += "\"><a href=\"/#a";
      rows += decimal(a);
      rows += "\">";
      rows += escapeHtml(accountDisplay(acc));
      rows += "</a></span></td></tr>\n";
    } else {
      cells.push_back(std::move(debit));
      cells.push_back(std::move(credit));
      cells.push_back(std::move(balance));
      cells.push_back(std::string(static_cast<size_t>(2 * level), ' ') +
                      std::string(accountDisplay(acc)));
    }
  }

  Money income = 0;
  Money expense = 0;
  const Found incomeRoot = findAccountByType(ledger.accounts, 'I');
  const Found expenseRoot = findAccountByType(ledger.accounts, 'E');
  if (incomeRoot.ok && expenseRoot.ok) {
    income = subtree(incomeRoot.pos).credit;
    expense = subtree(expenseRoot.pos).debit;
  }
  std::string profitLoss = moneyText(req, moneySub(income, expense));
  trimRight(profitLoss);
  const std::string perStart = dateText(req, req.fromDate);
  const std::string perEnd = dateText(req, req.toDate);

  if (!html) {
    return fillNamed(
        "Balance of accounts\n\nDate period: $perStart - $perEnd\n\n$rows\n\n"
        "Profit/(Loss) for the period: $profitLoss\n",
        {{"perStart", perStart},
         {"perEnd", perEnd},
         {"rows", textTable(cells, 4, "RRRL", {1}, ascii)},
         {"profitLoss", profitLoss}});
  }
  std::string profitLossA = moneyText(req, income);
  std::string profitLossB = moneyText(req, expense);
  trimRight(profitLossA);
  trimRight(profitLossB);
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
       {"perStart", perStart},
       {"perEnd", perEnd},
       {"rows", rows},
       {"profitLossA", profitLossA},
       {"profitLossB", profitLossB},
       {"profitLoss", profitLoss},
       {"nop", nop}});
}

std::string balanceOfInventory(const ReportRequest& req, bool html) {
  if (!reportable(req)) return "";
  const Ledger& ledger = req.ledger;
  std::string rows;
  std::vector<std::string> cells = {"Debit", "Credit", "Balance", "Avg. Price", "Name"};
  const std::vector<std::vector<int64_t>> kinds = kindsByAccount(ledger);
  for (const std::vector<int64_t>& ofAccount : kinds) {
    for (const int64_t k : ofAccount) {
      const KindSums s = kindSums(ledger, k, req.fromDate, req.toDate);
      std::string debit = itemsText(req, s.itemsIn);
      std::string credit = itemsText(req, s.itemsOut);
      std::string balance = itemsText(req, s.items);
      std::string average = averageText(req, s.money, s.items);
      std::string name = kindLabel(ledger.kinds, k);
      if (html) {
        if (!rows.empty()) rows += '\n';
        rows += "<tr class=\"typA\"><td class=\"increase\">";
        rows += debit;
        rows += "</td><td>";
        rows += credit;
        rows += "</td><td>";
        rows += balance;
        rows += "</td><td>";
        rows += average;
        rows += "</td><td><a href=\"/#i";
        rows += decimal(k);
        rows += "\">";
        rows += escapeHtml(name);
        rows += "</a></td></tr>\n";
      } else {
        cells.push_back(std::move(debit));
        cells.push_back(std::move(credit));
        cells.push_back(std::move(balance));
        cells.push_back(std::move(average));
        cells.push_back(std::move(name));
      }
    }
  }
  const std::string perStart = dateText(req, req.fromDate);
  const std::string perEnd = dateText(req, req.toDate);
  if (!html) {
    return fillNamed("Balance of inventory\n\nDate period: $perStart - $perEnd\n\n$rows",
                     {{"perStart", perStart},
                      {"perEnd", perEnd},
                      {"rows", textTable(cells, 5, "RRRRL", {1}, false)}});
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
      {{"perStart", perStart}, {"perEnd", perEnd}, {"rows", rows}, {"unitInfo", unitInfo}});
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
  if (!reportable(req)) return "";
  return accountPage(req, accountPos, rowsHtml(accountRowList(req, accountPos, "", true), false));
}

std::string accountFrame(const ReportRequest& req, int64_t accountPos) {
  if (!reportable(req)) return "";
  return accountPage(req, accountPos, "");
}

ReportRow accountReportRow(const ReportRequest& req, const RowValues& v, std::string_view filter) {
  return accountRow(req, v, filter, true);
}

std::string accountRows(const ReportRequest& req, int64_t accountPos, std::string_view filter) {
  assert(reportable(req));
  if (!reportable(req)) return "";
  return rowsHtml(accountRowList(req, accountPos, filter, true), false);
}

std::string accountReportText(const ReportRequest& req, int64_t accountPos, std::string_view filter,
                              bool ascii) {
  assert(reportable(req));
  if (!reportable(req)) return "";
  const Ledger& ledger = req.ledger;
  const std::vector<Row> rows = accountRowList(req, accountPos, filter, false);
  std::vector<std::string> cells = {"Date", "Debit", "Credit", "Balance", "Description"};
  cells.reserve(5 * (rows.size() + 1));
  for (const Row& r : rows) {
    cells.push_back(r.date);
    cells.push_back(r.debit);
    cells.push_back(r.credit);
    cells.push_back(r.balance);
    cells.push_back(r.descr);
  }
  return fillNamed(
      "Transactions in account $accName\nAccount type: $accType\nPeriod: $perStart - $perEnd"
      "\n\n$rows\n",
      {{"accName", accountPath(ledger.accounts, accountPos).displayPath},
       {"accType", accountTypeName(accountType(ledger.accounts, accountPos).effective)},
       {"perStart", dateText(req, req.fromDate)},
       {"perEnd", dateText(req, req.toDate)},
       {"rows", textTable(cells, 5, "LRRRL", {1, -2}, ascii)}});
}

std::string kindReport(const ReportRequest& req, int64_t kindPos) {
  if (!reportable(req)) return "";
  const std::string rows = rowsHtml(kindRowList(req, kindPos, ""), true);
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
       {"unitInfo", unitInfo},
       {"rows", rows}});
}

std::string kindReportText(const ReportRequest& req, int64_t kindPos, bool ascii, std::string_view filter) {
  if (!reportable(req)) return "";
  const std::vector<Row> rows = kindRowList(req, kindPos, filter);
  std::vector<std::string> cells = {"Date",    "Debit",      "Credit",
                                    "Balance", "Avg. price", "Description"};
  cells.reserve(6 * (rows.size() + 1));
  for (const Row& r : rows) {
    cells.push_back(r.date);
    cells.push_back(r.debit);
    cells.push_back(r.credit);
    cells.push_back(r.balance);
    cells.push_back(r.avg);
    cells.push_back(r.descr);
  }
  return fillNamed(
      "Inventory for $kindName\n\nPeriod: $perStart - $perEnd\nUnits: $unitInfo\n\n$rows",
      {{"kindName", kindLabel(req.ledger.kinds, kindPos)},
       {"perStart", dateText(req, req.fromDate)},
       {"perEnd", dateText(req, req.toDate)},
       {"unitInfo", unitInfo},
       {"rows", textTable(cells, 6, "LRRRRL", {1, -2}, ascii)}});
}

std::string selectionSums(const ReportRequest& req, std::string_view selection) {
  if (selection.empty() || !reportable(req)) return "";
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
  for (const std::string& text : periodList(req.period.firstDate, req.period.lastDate, req.period.year)) {
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
  if (!reportable(req)) return "";
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
