#include "chartscale.h"

#include <algorithm>
#include <cassert>
#include <iterator>

namespace murex {

std::vector<ChartPoint> thinPoints(const std::vector<ChartPoint>& points, int64_t days,
                                   int64_t width) {
  // Callers give a day count of at least one; a wrong one must not divide by zero.
  days = std::max<int64_t>(days, 1);
  width = std::max<int64_t>(width, 1);
  std::vector<ChartPoint> out;
  size_t i = 0;
  while (i < points.size()) {
    const int64_t column = points[i].day * width / days;
    size_t end = i + 1;
    while (end < points.size() && points[end].day * width / days == column) ++end;
    size_t keep[6] = {i, end - 1, i, i, i, i};
    for (size_t j = i + 1; j < end; ++j) {
      if (points[j].value < points[keep[2]].value) keep[2] = j;
      if (points[j].value > points[keep[3]].value) keep[3] = j;
      if (points[j].items < points[keep[4]].items) keep[4] = j;
      if (points[j].items > points[keep[5]].items) keep[5] = j;
    }
    std::sort(std::begin(keep), std::end(keep));
    for (size_t k = 0; k < 6; ++k)
      if (k == 0 || keep[k] != keep[k - 1]) out.push_back(points[keep[k]]);
    i = end;
  }
  return out;
}

std::vector<Money> axisTicks(Money low, Money high, int64_t count) {
  assert(low <= high && count > 0);
  // In 128 bits: the span of two amounts of opposite sign may not fit in 64.
  const __int128 span = static_cast<__int128>(high) - low;
  __int128 step = 1;
  for (__int128 power = 1;; power *= 10) {
    const __int128 candidates[] = {power, 2 * power, 5 * power};
    bool found = false;
    for (const __int128 c : candidates) {
      if (c * count >= span) {
        step = c;
        found = true;
        break;
      }
    }
    if (found) break;
  }
  const auto floorDiv = [](__int128 a, __int128 b) { return a / b - (a % b != 0 && a < 0); };
  __int128 t = floorDiv(low, step) * step;
  std::vector<Money> ticks;
  const __int128 top = -floorDiv(-static_cast<__int128>(high), step) * step;
  for (; t <= top; t += step) {
    // A tick beyond what cents can hold is left off: the line never reaches it.
    if (t < INT64_MIN || t > INT64_MAX) continue;
    ticks.push_back(static_cast<Money>(t));
    if (span == 0) break;
  }
  return ticks;
}

}  // namespace murex
