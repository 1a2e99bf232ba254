#include "textreport.h"

#include <cassert>
#include <vector>

#include "account.h"
#include "balances.h"
#include "inventory.h"
#include "reportcells.h"
#include "template.h"
#include "texttable.h"

namespace murex {

namespace {

std::string filterText(std::string_view filter) { return "Filtering for: " + std::string(filter); }

}  // namespace

std::string balanceOfAccountsText(const ReportRequest& req, bool ascii) {
  assert(canReport(req.ledger));
  if (!canReport(req.ledger)) return "";
  const Ledger& ledger = req.ledger;
  const AccountBalances balances = accountBalances(req);
  std::vector<std::string> cells = {"Debit", "Credit", "End Balance", "Account name"};
  cells.reserve(4 * (balances.rows.size() + 1));
  for (const AccountBalance& b : balances.rows) {
    cells.push_back(moneyText(req, b.debit));
    cells.push_back(moneyText(req, b.credit));
    cells.push_back(moneyText(req, b.balance));
    cells.push_back(
        std::string(static_cast<size_t>(2 * accountLevel(ledger.accounts, b.accountPos)), ' ') +
        std::string(accountDisplay(ledger.accounts[b.accountPos])));
  }
  return fillNamed(
      "Balance of accounts\n\nDate period: $perStart - $perEnd\n\n$rows\n\n"
      "Profit/(Loss) for the period: $profitLoss\n",
      {{"perStart", dateText(req, req.fromDate)},
       {"perEnd", dateText(req, req.toDate)},
       {"rows", textTable(cells, 4, "RRRL", {1}, ascii)},
       {"profitLoss", moneyWord(req, balances.profit.profit)}});
}

std::string balanceOfInventoryText(const ReportRequest& req) {
  if (!canReport(req.ledger)) return "";
  std::vector<std::string> cells = {"Debit", "Credit", "Balance", "Avg. Price", "Name"};
  for (const KindBalance& b : kindBalances(req)) {
    cells.push_back(itemsText(req, b.sums.itemsIn));
    cells.push_back(itemsText(req, b.sums.itemsOut));
    cells.push_back(itemsText(req, b.sums.items));
    cells.push_back(averageText(req, b.sums.money, b.sums.items));
    cells.push_back(kindLabel(req.ledger.kinds, b.kindPos));
  }
  return fillNamed("Balance of inventory\n\nDate period: $perStart - $perEnd\n\n$rows",
                   {{"perStart", dateText(req, req.fromDate)},
                    {"perEnd", dateText(req, req.toDate)},
                    {"rows", textTable(cells, 5, "RRRRL", {1}, false)}});
}

std::string accountReportText(const ReportRequest& req, int64_t accountPos,
                              std::string_view filter, bool ascii) {
  assert(canReport(req.ledger));
  if (!canReport(req.ledger)) return "";
  const Ledger& ledger = req.ledger;
  std::vector<std::string> cells = {"Date", "Debit", "Credit", "Balance", "Description"};
  visitAccountRows(req, accountPos, filter, [&](const RowValues& v) {
    ReportRow r = accountRowCells(req, v);
    if (v.kind == RowKind::Filter) r.descr = filterText(filter);
    cells.push_back(std::move(r.date));
    cells.push_back(std::move(r.debit));
    cells.push_back(std::move(r.credit));
    cells.push_back(std::move(r.balance));
    cells.push_back(std::move(r.descr));
  });
  return fillNamed(
      "Transactions in account $accName\nAccount type: $accType\nPeriod: $perStart - $perEnd"
      "\n\n$rows\n",
      {{"accName", accountPath(ledger.accounts, accountPos).displayPath},
       {"accType", accountTypeName(accountType(ledger.accounts, accountPos).effective)},
       {"perStart", dateText(req, req.fromDate)},
       {"perEnd", dateText(req, req.toDate)},
       {"rows", textTable(cells, 5, "LRRRL", {1, -2}, ascii)}});
}

std::string kindReportText(const ReportRequest& req, int64_t kindPos, bool ascii,
                           std::string_view filter) {
  if (!canReport(req.ledger)) return "";
  std::vector<std::string> cells = {"Date",    "Debit",      "Credit",
                                    "Balance", "Avg. price", "Description"};
  for (const RowValues& v : kindRowValues(req, kindPos, filter)) {
    ReportRow r = kindRowCells(req, v);
    if (v.kind == RowKind::Filter) r.descr = filterText(filter);
    cells.push_back(std::move(r.date));
    cells.push_back(std::move(r.debit));
    cells.push_back(std::move(r.credit));
    cells.push_back(std::move(r.balance));
    cells.push_back(std::move(r.avg));
    cells.push_back(std::move(r.descr));
  }
  return fillNamed(
      "Inventory for $kindName\n\nPeriod: $perStart - $perEnd\nUnits: $unitInfo\n\n$rows",
      {{"kindName", kindLabel(req.ledger.kinds, kindPos)},
       {"perStart", dateText(req, req.fromDate)},
       {"perEnd", dateText(req, req.toDate)},
       {"unitInfo", unitsText},
       {"rows", textTable(cells, 6, "LRRRRL", {1, -2}, ascii)}});
}

}  // namespace murex
