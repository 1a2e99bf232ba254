// report: the balances, the transaction reports and the jump menu, as console text (through
// textTable) or as HTML fragments for the viewer, for one report request.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reportrequest.h"
#include "rows.h"

namespace murex {

// One row of a transaction report as the texts of its cells, the description HTML-escaped;
// a class for the row and one for the balance cell, or empty.
struct ReportRow {
  int64_t splitPos = -1;
  std::string date{}, debit{}, credit{}, balance{}, avg{};
  std::string_view classR{}, classB{};
  std::string descr{};
};

std::string balanceOfAccounts(const ReportRequest& req, bool html, bool ascii);
std::string balanceOfInventory(const ReportRequest& req, bool html);

std::string accountReport(const ReportRequest& req, int64_t accountPos);  // HTML section
std::string accountRows(const ReportRequest& req, int64_t accountPos, std::string_view filter);
// accountReport with an empty body of rows, and the cells of one of its rows (of
// accountRowValues with the same filter): the viewer's register fills the one with the other.
std::string accountFrame(const ReportRequest& req, int64_t accountPos);
ReportRow accountReportRow(const ReportRequest& req, const RowValues& v, std::string_view filter);
std::string accountReportText(const ReportRequest& req, int64_t accountPos, std::string_view filter,
                              bool ascii);
std::string kindReport(const ReportRequest& req, int64_t kindPos);  // HTML section
std::string kindReportText(const ReportRequest& req, int64_t kindPos, bool ascii, std::string_view filter);
// Debit, credit and balance of the splits at the comma-separated positions, three lines;
// "" for an empty selection and for one that is not a list of valid positions.
std::string selectionSums(const ReportRequest& req, std::string_view selection);

std::string jumpMenu(const ReportRequest& req);
std::string periodOptions(const ReportRequest& req);

}  // namespace murex
