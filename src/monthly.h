// monthly: every account's figures month by month over a period, its sub-accounts included.
// A read-only query of a parsed ledger, like the others: the month-by-month report and the
// viewer's charts draw from it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "datum.h"
#include "queries.h"

namespace murex {

struct MonthlyFigures {
  // The calendar months from ds to de: the first begins at ds, the last ends at de.
  std::vector<DateRange> months;
  // Per account, the balance before ds of the account and its sub-accounts.
  std::vector<Money> opening;
  // cells[accountPos * months.size() + month]: the debits and credits of the account and its
  // sub-accounts in that month (positive figures), and their balance at its end.
  std::vector<Sums> cells;

  const Sums& at(int64_t accountPos, size_t month) const {
    return cells[static_cast<size_t>(accountPos) * months.size() + month];
  }
};

// Requires canReport. ds after de gives no months. With a filter (words as the reports'
// filter reads them) only the matching splits count as debits and credits; the balances
// count every split. A sum beyond 64 bits raises "Arithmetic overflow".
MonthlyFigures monthlyFigures(const Ledger& ledger, Datum ds, Datum de,
                              std::string_view filter = "");

// The profit or loss of each month as the balance of accounts counts it: the credits of the
// income root's sub-tree less the debits of the expense root's; zero without both roots.
std::vector<Money> monthlyProfit(const Ledger& ledger, const MonthlyFigures& figures);

}  // namespace murex
