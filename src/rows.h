// rows: the rows of the transaction reports (one account's splits, one kind's movements) as
// values, before a form writes them: the console and HTML tables, CSV and JSON.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "reportrequest.h"

namespace murex {

enum class RowKind { Opening, Filter, Split, Sums, Change };

struct RowValues {
  RowKind kind = RowKind::Split;
  int64_t splitPos = -1;
  Datum date = 0;    // the split's; the period's first day for Opening; 0 for the others
  Money debit = 0;   // the split's amount (items for a kind) on its side, or the totals
  Money credit = 0;  // as a positive figure
  bool held = false;     // Opening and Split rows: balance (and value) apply
  Money balance = 0;     // an account's running balance, or the items of a kind held
  Money value = 0;       // a kind's: the money value of the items held
  bool warning = false;  // an account's balance of the wrong sign for its type
  std::string_view description{};  // the transaction's
  std::string_view comment{};      // the split's
};

// The rows of an account's report for the shown period: the opening row, or with a filter
// the filter row and only the matching splits; one row per split of the account itself; then
// the Sums and Change rows.
std::vector<RowValues> accountRowValues(const ReportRequest& req, int64_t accountPos,
                                        std::string_view filter);
// The same rows handed to visit one by one, none kept.
void visitAccountRows(const ReportRequest& req, int64_t accountPos, std::string_view filter,
                      const std::function<void(const RowValues&)>& visit);
// The same for an inventory kind, in items; value and balance give the average price.
std::vector<RowValues> kindRowValues(const ReportRequest& req, int64_t kindPos, std::string_view filter);

// money / items; zero when nothing is held, also when a truncation residue of money is left.
Money averagePrice(Money money, Items items);

}  // namespace murex
