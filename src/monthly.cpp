// One walk over the period's splits fills each account's own month cells; the sub-trees are
// then summed from the deepest accounts up, so the cost is that of the walk plus accounts
// times months.
#include "monthly.h"

#include <algorithm>
#include <cassert>
#include <string>


namespace murex {

namespace {

void addTo(Sums& into, const Sums& s) {
  into.debit = moneyAdd(into.debit, s.debit);
  into.credit = moneyAdd(into.credit, s.credit);
  into.balance = moneyAdd(into.balance, s.balance);
}

std::vector<DateRange> monthsOf(Datum ds, Datum de) {
  std::vector<DateRange> months;
  if (ds > de) return months;
  int64_t y = yearOf(ds);
  int64_t m = monthOf(ds);
  while (y * 100 + m <= yearOf(de) * 100 + monthOf(de)) {
    months.push_back({std::max(ds, y * 10000 + m * 100 + 1), std::min(de, monthEnd(y, m))});
    if (++m > 12) {
      m = 1;
      ++y;
    }
  }
  return months;
}

std::vector<Money> profitOf(const Ledger& ledger, const MonthlyFigures& figures,
                            const std::vector<Sums>& cells) {
  const size_t nm = figures.months.size();
  std::vector<Money> profit(nm, 0);
  for (size_t i = 0; i < nm; ++i) {
    profit[i] = murex::profitOf(ledger, [&](int64_t pos) {
                  return cells[static_cast<size_t>(pos) * nm + i];
                }).profit;
  }
  return profit;
}

}  // namespace

MonthlyFigures monthlyFigures(const Ledger& ledger, Datum ds, Datum de, std::string_view filter) {
  assert(canReport(ledger));
  MonthlyFigures f;
  f.months = monthsOf(ds, de);
  const size_t nm = f.months.size();
  const int64_t na = std::ssize(ledger.accounts);
  f.opening.resize(ledger.accounts.size());
  f.cells.resize(ledger.accounts.size() * nm);
  f.closing.resize(ledger.accounts.size() * nm);
  f.closingCount.resize(ledger.accounts.size());
  for (int64_t a = 0; a < na; ++a) f.opening[a] = accountBalanceAt(ledger, a, ds);
  if (nm == 0) return f;

  // Each account's own movement per month: the filtered debits and credits in the cells,
  // the whole change apart for the balances.
  std::vector<Money> change(f.cells.size(), 0);
  const std::vector<std::string> words = filterWords(filter);
  std::string text;
  const auto first = std::partition_point(
      ledger.splits.begin(), ledger.splits.end(), [&](const Split& s) {
        return s.traPos == 0 || ledger.transactions[s.traPos].date < ds;
      });
  // The splits written "close" are few and in split order: a cursor walks beside the
  // splits. Those of income and expense accounts close the books of a period; any other one
  // (a card paid off with close) is a month's change like its other side.
  auto closing = std::lower_bound(ledger.closingSplits.begin(), ledger.closingSplits.end(),
                                  first - ledger.splits.begin());
  std::vector<char> closable(ledger.accounts.size());
  for (int64_t a = 0; a < na; ++a) {
    const char type = accountType(ledger.accounts, a).effective;
    closable[a] = type == 'I' || type == 'E';
  }
  size_t m = 0;
  for (auto it = first; it != ledger.splits.end(); ++it) {
    const Transaction& t = ledger.transactions[it->traPos];
    if (t.date > de) break;
    while (t.date > f.months[m].last) ++m;
    const int64_t splitPos = it - ledger.splits.begin();
    const size_t cell = static_cast<size_t>(it->accountPos) * nm + m;
    change[cell] = moneyAdd(change[cell], it->money);
    bool closes = false;
    if (closing != ledger.closingSplits.end() && *closing == splitPos) {
      ++closing;
      closes = closable[it->accountPos];
      if (closes) ++f.closingCount[it->accountPos];
    }
    if (!filter.empty() && !splitPassesFilter(ledger, splitPos, words, text)) continue;
    Sums& s = closes ? f.closing[cell] : f.cells[cell];
    if (it->money >= 0) {
      s.debit = moneyAdd(s.debit, it->money);
    } else {
      s.credit = moneySub(s.credit, it->money);
    }
  }
  for (int64_t a = 0; a < na; ++a) {
    Money balance = f.opening[a];
    for (size_t i = 0; i < nm; ++i) {
      const size_t cell = static_cast<size_t>(a) * nm + i;
      balance = moneyAdd(balance, change[cell]);
      f.cells[cell].balance = balance;
    }
  }

  // Children follow their parent in the list: from the last account up, each one's sums are
  // complete when they are added to its parent's.
  for (int64_t a = na - 1; a >= 0; --a) {
    const int64_t p = ledger.accounts[a].parentPos;
    if (p < 0) continue;
    f.opening[p] = moneyAdd(f.opening[p], f.opening[a]);
    f.closingCount[p] += f.closingCount[a];
    for (size_t i = 0; i < nm; ++i) {
      const size_t from = static_cast<size_t>(a) * nm + i;
      const size_t to = static_cast<size_t>(p) * nm + i;
      addTo(f.cells[to], f.cells[from]);
      addTo(f.closing[to], f.closing[from]);
    }
  }
  return f;
}

std::vector<Money> monthlyProfit(const Ledger& ledger, const MonthlyFigures& figures) {
  return profitOf(ledger, figures, figures.cells);
}

std::vector<Money> closingProfit(const Ledger& ledger, const MonthlyFigures& figures) {
  return profitOf(ledger, figures, figures.closing);
}

}  // namespace murex
