// textreport: the reports as the console prints them, tables drawn by textTable: the balance
// of accounts and of inventory, an account's and a kind's transactions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reportrequest.h"

namespace murex {

std::string balanceOfAccountsText(const ReportRequest& req, bool ascii);
std::string balanceOfInventoryText(const ReportRequest& req);
std::string accountReportText(const ReportRequest& req, int64_t accountPos,
                              std::string_view filter, bool ascii);
std::string kindReportText(const ReportRequest& req, int64_t kindPos, bool ascii,
                           std::string_view filter);

}  // namespace murex
