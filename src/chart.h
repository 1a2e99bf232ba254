// chart: the figures behind the viewer's charts, as small JSON documents built from the
// ledger queries. Amounts travel exact, as whole cents and as report text; the page only
// turns them into pixels.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "chartscale.h"
#include "reportrequest.h"

namespace murex {

// The account's balance through the period as a step line, for a plot width pixels wide;
// with a filter, only the splits whose rows the filter shows.
std::string accountChart(const ReportRequest& req, int64_t accountPos, int64_t width,
                         std::string_view filter);
// The kind's book value and items held through the period.
std::string kindChart(const ReportRequest& req, int64_t kindPos, int64_t width);
// The period month by month: income and expenses (as the balance of accounts counts them),
// the profit or loss, and the net worth (asset and liability accounts) at each month's end.
std::string balanceChart(const ReportRequest& req);
// What the account's direct sub-accounts gathered in each month (debits of expense and asset
// accounts, credits of the others), to be stacked: the largest eight, the rest as "Other".
std::string stackChart(const ReportRequest& req, int64_t accountPos);

}  // namespace murex
