// export: the reports as CSV (RFC 4180) and JSON for spreadsheets and scripts. Numbers are
// plain (-1234.50, whatever the number pattern), dates ISO 8601, accounts their name paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "amount.h"
#include "reportrequest.h"

namespace murex {

struct ExportCell {
  enum class Type { Empty, Text, Number } type = Type::Empty;
  std::string text{};
  Money number = 0;  // cents
};

// One report as plain values: the title fields, then rows of the columns.
struct ExportTable {
  std::vector<std::pair<std::string, ExportCell>> title{};
  std::vector<std::string> columns{};
  std::vector<std::vector<ExportCell>> rows{};
};

// One header row, then the rows; CRLF line ends; a field is quoted only when it holds a
// comma, a quote or a line end. A text starting with =, +, -, @, a tab or a carriage return
// gets a leading apostrophe, so that a spreadsheet shows it rather than runs it; bytes that
// are not UTF-8 become U+FFFD. The title fields are left out.
std::string csvText(const ExportTable& table);
// One object: the title fields, then "rows", an array of objects keyed by the columns.
// Numbers are JSON numbers with two decimals, empty cells null; bytes that are not UTF-8
// become U+FFFD.
std::string jsonText(const ExportTable& table);

ExportTable accountsExport(const ReportRequest& req);  // the balance of accounts
ExportTable accountExport(const ReportRequest& req, int64_t accountPos, std::string_view filter);
ExportTable inventoryExport(const ReportRequest& req);  // the balance of inventory
ExportTable kindExport(const ReportRequest& req, int64_t kindPos, std::string_view filter);
ExportTable monthlyExport(const ReportRequest& req, int64_t accountPos, bool balances,
                          std::string_view filter);

}  // namespace murex
