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
  // sub-accounts in that month (positive figures), the closing bookings left out, and their
  // balance at its end, those included.
  std::vector<Sums> cells;
  // The same places: the debits and credits of the closing bookings alone, the splits of
  // Ledger::closingSplits on income and expense accounts; their balance stays 0.
  std::vector<Sums> closing;
  // Per account, how many closing bookings of the period its sub-tree holds, filter or not.
  std::vector<int64_t> closingCount;

  const Sums& at(int64_t accountPos, size_t month) const {
    return cells[static_cast<size_t>(accountPos) * months.size() + month];
  }
  const Sums& closingAt(int64_t accountPos, size_t month) const {
    return closing[static_cast<size_t>(accountPos) * months.size() + month];
  }
};

// Requires canReport. ds after de gives no months. With a filter (words as the reports'
// filter reads them) only the matching splits count as debits and credits; the balances
// count every split. A sum beyond 64 bits raises "Arithmetic overflow".
MonthlyFigures monthlyFigures(const Ledger& ledger, Datum ds, Datum de,
                              std::string_view filter = "");

// The profit or loss of each month as the balance of accounts counts it: the credits of the
// income root's sub-tree less the debits of the expense root's; zero without both roots.
// Without the closing bookings; closingProfit counts them alone, so that the two add up to
// what the balance of accounts says of the month.
std::vector<Money> monthlyProfit(const Ledger& ledger, const MonthlyFigures& figures);
std::vector<Money> closingProfit(const Ledger& ledger, const MonthlyFigures& figures);

}  // namespace murex
