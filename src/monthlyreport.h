// monthlyreport: the accounts month by month, one column per month of the shown period, as
// console text and as the viewer's page; the same values feed CSV and JSON (export).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reportrequest.h"
#include "datum.h"

namespace murex {

struct MonthlyRow {
  int64_t accountPos = -1;  // -1: the profit or loss row
  std::vector<Money> months{};
  Money total = 0;  // the sum of the changes; with balances, the balance at the period's end
  Money closing = 0;  // the change of the closing bookings, which the months leave out
};

struct MonthlyView {
  bool balances = false;  // each month's end balance instead of its change
  std::vector<DateRange> months;
  std::vector<MonthlyRow> rows{};  // the accounts in tree order, then the profit or loss
  bool hasProfit = false;        // only the whole tree ends with it
  // The changes only: the shown accounts hold closing bookings in the period (Ledger::
  // closingSplits, filter or not), which stand in a column of their own after the total.
  bool hasClosing = false;
};

// The months of the dates the reports cover (the period, from the ledger's first day and,
// without the future, up to today); accountPos -1
// for every account, else that account and its sub-accounts. With balances the profit row
// adds up from the period's start. The filter counts the matching splits' changes only.
MonthlyView monthlyView(const ReportRequest& req, int64_t accountPos, bool balances,
                        std::string_view filter);

std::string monthlyReportText(const ReportRequest& req, int64_t accountPos, bool balances,
                              std::string_view filter, bool ascii);
std::string monthlyReport(const ReportRequest& req, int64_t accountPos, bool balances);  // HTML section

// "2025-03": the month a column stands for, in CSV headers and the viewer's links.
std::string monthKey(const DateRange& month);

}  // namespace murex
