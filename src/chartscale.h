// chartscale: the scales of a chart, apart from any figure: the points of a line worth
// drawing on a plot's pixel columns, and round ticks for an axis.
#pragma once

#include <cstdint>
#include <vector>

#include "amount.h"
#include "inventory.h"

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

}  // namespace murex
