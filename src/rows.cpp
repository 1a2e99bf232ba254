// The walks behind the transaction reports: one account's or kind's own split index over
// the period, the filter applied to each split's description and comment.
#include "rows.h"

#include <cassert>
#include <functional>

#include "queries.h"

namespace murex {

namespace {

void appendTotals(std::vector<RowValues>& rows, Money debit, Money credit) {
  rows.push_back({.kind = RowKind::Sums, .debit = debit, .credit = credit});
  const Money change = moneySub(debit, credit);
  rows.push_back({.kind = RowKind::Change,
                  .debit = change > 0 ? change : 0,
                  .credit = change < 0 ? moneyNeg(change) : 0});
}

}  // namespace

Money averagePrice(Money money, Items items) { return items == 0 ? 0 : moneyDiv(money, items); }

void visitAccountRows(const ReportRequest& req, int64_t accountPos, std::string_view filter,
                      const std::function<void(const RowValues&)>& visit) {
  const Ledger& ledger = req.ledger;
  assert(canReport(ledger));
  assert(accountPos >= 0 && accountPos < std::ssize(ledger.accounts));
  const bool positive = accountType(ledger.accounts, accountPos).positive;
  const std::vector<std::string> words = filterWords(filter);
  if (filter.empty()) {
    visit({.kind = RowKind::Opening,
           .date = req.fromDate,
           .held = true,
           .balance = accountBalanceAt(ledger, accountPos, req.fromDate)});
  } else {
    visit({.kind = RowKind::Filter});
  }
  Money debit = 0;
  Money credit = 0;
  std::string text;
  const std::vector<int64_t>& index = ledger.accountSplits[accountPos];
  for (size_t i = firstNotBefore(ledger, index, req.fromDate); i < index.size(); ++i) {
    const int64_t sp = index[i];
    if (splitInPeriod(ledger, req.fromDate, req.toDate, sp) > 0) break;
    const Split& s = ledger.splits[sp];
    const Transaction& t = ledger.transactions[s.traPos];
    if (!filter.empty() && !splitPassesFilter(ledger, sp, words, text)) continue;
    RowValues r{.splitPos = sp,
                .date = t.date,
                .held = true,
                .balance = s.balance,
                .warning = positive ? s.balance < 0 : s.balance > 0,
                .description = transactionDescription(ledger, t),
                .comment = splitComment(ledger, sp)};
    if (s.money > 0) {
      r.debit = s.money;
      debit = moneyAdd(debit, s.money);
    } else if (s.money < 0) {
      r.credit = moneyNeg(s.money);
      credit = moneySub(credit, s.money);
    }
    visit(r);
  }
  std::vector<RowValues> totals;
  appendTotals(totals, debit, credit);
  for (const RowValues& r : totals) visit(r);
}

std::vector<RowValues> accountRowValues(const ReportRequest& req, int64_t accountPos,
                                        std::string_view filter) {
  std::vector<RowValues> rows;
  visitAccountRows(req, accountPos, filter, [&rows](const RowValues& r) { rows.push_back(r); });
  return rows;
}

std::vector<RowValues> kindRowValues(const ReportRequest& req, int64_t kindPos, std::string_view filter) {
  const Ledger& ledger = req.ledger;
  assert(kindPos >= 0 && kindPos < std::ssize(ledger.kinds));
  const std::vector<std::string> words = filterWords(filter);
  std::vector<RowValues> rows(1);
  Holding held;
  Holding opening;
  bool openingKnown = false;
  Items itemsIn = 0;
  Items itemsOut = 0;
  std::string text;
  const std::vector<int64_t>& index = ledger.kindSplits[kindPos];
  for (size_t i = 0; i < index.size(); ++i) {
    const int64_t sp = index[i];
    const int where = splitInPeriod(ledger, req.fromDate, req.toDate, sp);
    if (where > 0) break;
    if (where == 0 && !openingKnown) {
      opening = held;
      openingKnown = true;
    }
    held = kindHoldingAfter(ledger, kindPos, i, held);
    if (where < 0) continue;
    const Transaction& t = ledger.transactions[ledger.splits[sp].traPos];
    if (!filter.empty() && !splitPassesFilter(ledger, sp, words, text)) continue;
    const Items change = kindSplitItems(ledger, kindPos, i);
    RowValues r{.splitPos = sp,
                .date = t.date,
                .held = true,
                .balance = held.items,
                .value = held.money,
                .description = transactionDescription(ledger, t),
                .comment = splitComment(ledger, sp)};
    if (change > 0) {
      r.debit = change;
      itemsIn = moneyAdd(itemsIn, change);
    } else if (change < 0) {
      r.credit = moneyNeg(change);
      itemsOut = moneySub(itemsOut, change);
    }
    rows.push_back(r);
  }
  if (!openingKnown) opening = held;
  if (filter.empty()) {
    rows[0] = {.kind = RowKind::Opening,
               .date = req.fromDate,
               .held = true,
               .balance = opening.items,
               .value = opening.money};
  } else {
    rows[0] = {.kind = RowKind::Filter};
  }
  appendTotals(rows, itemsIn, itemsOut);
  return rows;
}

}  // namespace murex
