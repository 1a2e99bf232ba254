// htmlreport: the reports as the viewer's HTML fragments: the balances, the transaction
// reports, the sums of a selection, the jump menu and the period options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reportrequest.h"
#include "reportcells.h"
#include "rows.h"

namespace murex {

std::string balanceOfAccountsHtml(const ReportRequest& req);
std::string balanceOfInventoryHtml(const ReportRequest& req);

std::string accountReport(const ReportRequest& req, int64_t accountPos);  // HTML section
std::string accountRows(const ReportRequest& req, int64_t accountPos, std::string_view filter);
// accountReport with an empty body of rows, and the cells of one of its rows (of
// accountRowValues with the same filter): the viewer's register fills the one with the other.
std::string accountFrame(const ReportRequest& req, int64_t accountPos);
ReportRow accountReportRow(const ReportRequest& req, const RowValues& v, std::string_view filter);
std::string kindReport(const ReportRequest& req, int64_t kindPos);  // HTML section
// Debit, credit and balance of the splits at the comma-separated positions, three lines;
// "" for an empty selection and for one that is not a list of valid positions.
std::string selectionSums(const ReportRequest& req, std::string_view selection);

std::string jumpMenu(const ReportRequest& req);
std::string periodOptions(const ReportRequest& req);

}  // namespace murex
