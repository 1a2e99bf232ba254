// chart: the figures behind the viewer's charts, as small JSON documents built from the
// ledger queries. Amounts travel exact, as whole cents and as report text; the page only
// turns them into pixels.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reportrequest.h"

namespace murex {

// One point of a line: its day in the period (0 is the period's first day), the split it
// stands for (-1: the balance the period opens with) and its values.
struct ChartPoint {
  int64_t day = 0;
  int64_t splitPos = -1;
  Money value = 0;
  Items items = 0;  // kinds only
};

// The points worth drawing on width pixel columns over days days: of each column's run of
// points, the first, the last and those with the lowest and highest value and items, in
// their order. A line through them covers the same pixels as the line through all.
std::vector<ChartPoint> thinPoints(const std::vector<ChartPoint>& points, int64_t days,
                                   int64_t width);

// Tick values for an axis from low to high: a step of 1, 2 or 5 times a power of ten,
// at most about count steps, the first tick at or below low and the last at or above high.
std::vector<Money> axisTicks(Money low, Money high, int64_t count);

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
