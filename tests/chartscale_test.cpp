// chartscale: the thinning of a line and the axis ticks.
#include "chartscale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace murex {
namespace {

TEST(Chart, ThinningKeepsEachColumnsFirstLastLowestAndHighest) {
  std::mt19937_64 random(16);
  struct Case {
    int64_t count, days, width;
  };
  for (const Case c : {Case{1, 1, 1}, Case{5000, 365, 300}, Case{60000, 366, 900},
                       Case{300, 31, 1000}, Case{2000, 365, 40}}) {
    std::vector<ChartPoint> points;
    int64_t day = 0;
    Money value = 0;
    for (int64_t i = 0; i < c.count; ++i) {
      day = std::min(c.days - 1, day + (random() % 50 == 0 ? 1 : 0));
      value += static_cast<Money>(random() % 20001) - 10000;
      points.push_back({day, i, value, static_cast<Items>(random() % 1000)});
    }
    const std::vector<ChartPoint> thin = thinPoints(points, c.days, c.width);
    const auto column = [&](const ChartPoint& p) { return p.day * c.width / c.days; };
    std::map<int64_t, std::vector<ChartPoint>> all, kept;
    for (const ChartPoint& p : points) all[column(p)].push_back(p);
    for (const ChartPoint& p : thin) kept[column(p)].push_back(p);
    ASSERT_EQ(all.size(), kept.size());
    for (const auto& [col, ps] : all) {
      const std::vector<ChartPoint>& ks = kept[col];
      EXPECT_LE(ks.size(), 6u);
      EXPECT_EQ(ks.front().splitPos, ps.front().splitPos);
      EXPECT_EQ(ks.back().splitPos, ps.back().splitPos);
      const auto byValue = [](const ChartPoint& a, const ChartPoint& b) {
        return a.value < b.value;
      };
      const auto byItems = [](const ChartPoint& a, const ChartPoint& b) {
        return a.items < b.items;
      };
      EXPECT_EQ(std::min_element(ks.begin(), ks.end(), byValue)->value,
                std::min_element(ps.begin(), ps.end(), byValue)->value);
      EXPECT_EQ(std::max_element(ks.begin(), ks.end(), byValue)->value,
                std::max_element(ps.begin(), ps.end(), byValue)->value);
      EXPECT_EQ(std::min_element(ks.begin(), ks.end(), byItems)->items,
                std::min_element(ps.begin(), ps.end(), byItems)->items);
      EXPECT_EQ(std::max_element(ks.begin(), ks.end(), byItems)->items,
                std::max_element(ps.begin(), ps.end(), byItems)->items);
    }
    // In their order: the line is drawn through them as they come.
    EXPECT_TRUE(std::is_sorted(
        thin.begin(), thin.end(),
        [](const ChartPoint& a, const ChartPoint& b) { return a.splitPos < b.splitPos; }));
  }
}

TEST(Chart, AxisTicksAreRoundAndCoverTheRange) {
  struct Case {
    Money low, high;
    std::vector<Money> ticks;
  };
  const Case cases[] = {
      {0, 280000, {0, 100000, 200000, 300000}},
      {-127460, 280000, {-200000, 0, 200000, 400000}},
      {518085, 798085, {500000, 600000, 700000, 800000}},
      {5, 5, {5}},
      {0, 3, {0, 1, 2, 3}},
      {-7, -1, {-8, -6, -4, -2, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(axisTicks(c.low, c.high, 4), c.ticks) << c.low << " " << c.high;
  // The widest range cents can hold: no overflow, and the ticks stay within 64 bits.
  const std::vector<Money> wide = axisTicks(INT64_MIN + 1, INT64_MAX, 4);
  EXPECT_GE(wide.size(), 3u);
  EXPECT_TRUE(std::is_sorted(wide.begin(), wide.end()));
}

}  // namespace
}  // namespace murex
