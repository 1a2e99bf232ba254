// webroute: the reader of the viewer's paths, the period in front of them, the query's text.
#include "webroute.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace murex;

namespace {

struct PathCase {
  std::string_view path, pattern;
  bool fits;
  int64_t position = -1;
  Datum monthFirst = 0;
  std::string_view text = "";
};

TEST(ReadPath, TakesTheWordAPositionAMonthAndTheRest) {
  const PathCase cases[] = {
      {"/account/3", "/account/#", true, 3},
      {"/account/003", "/account/#", true, 3},
      {"/account/99999999999999999999", "/account/#", true, INT64_MAX},
      {"/account/", "/account/#", false},
      {"/account/3x", "/account/#", false},
      {"/account/-1", "/account/#", false},
      {"/account/+1", "/account/#", false},
      {"/account/3/2024-03", "/account/#", false},
      {"/account/3/2024-03", "/account/#/@", true, 3, 20240301},
      {"/account/3/2024-12", "/account/#/@", true, 3, 20241201},
      {"/account/3/2024-13", "/account/#/@", false},
      {"/account/3/2024-00", "/account/#/@", false},
      {"/account/3/2024-3", "/account/#/@", false},
      {"/account/3/2024-033", "/account/#/@", false},
      {"/account/3/20245-03", "/account/#/@", false},
      {"/account/3/1969-12", "/account/#/@", false},
      {"/account/3/2101-01", "/account/#/@", false},
      {"/account/3/2024-03/", "/account/#/@", false},
      {"/Account/3", "/account/#", false},
      {"/monthly", "/monthly", true},
      {"/monthly/", "/monthly", false},
      {"/monthlyx", "/monthly", false},
      {"/monthly/balance/0", "/monthly/balance/#", true, 0},
      {"/sumsel/", "/sumsel/*", true, -1, 0, ""},
      {"/sumsel/1,2", "/sumsel/*", true, -1, 0, "1,2"},
      {"/period/2024%20Q1", "/period/*", true, -1, 0, "2024%20Q1"},
      {"/period", "/period/*", false},
  };
  for (const PathCase& c : cases) {
    RoutePath out;
    EXPECT_EQ(readPath(c.path, c.pattern, out), c.fits) << c.path << " " << c.pattern;
    if (!c.fits) continue;
    EXPECT_EQ(out.position, c.position) << c.path;
    EXPECT_EQ(out.month ? out.month->first : 0, c.monthFirst) << c.path;
    EXPECT_EQ(out.text, c.text) << c.path;
  }
  RoutePath feb;
  ASSERT_TRUE(readPath("/account/1/2024-02", "/account/#/@", feb));
  EXPECT_EQ(feb.month->last, 20240229);
}

TEST(TakePeriodPrefix, TakesThePeriodAndTheFutureSwitchInFront) {
  struct Case {
    std::string_view path;
    bool given;
    std::string_view period = "";
    bool future = false;
    std::string_view rest = "";
  };
  const Case cases[] = {
      {"/p/2024Q1/account/3", true, "2024Q1", false, "/account/3"},
      {"/p/2024Q1+future/", true, "2024Q1", true, "/"},
      {"/p/Y/style.css", true, "Y", false, "/style.css"},
      {"/p//", true, "", false, "/"},
      {"/p/+future/x", true, "", true, "/x"},
      {"/p/2024Q1", false},
      {"/p", false},
      {"/period/Q1", false},
      {"/account/0", false},
  };
  for (const Case& c : cases) {
    std::string_view path = c.path;
    const std::optional<PeriodPrefix> prefix = takePeriodPrefix(path);
    EXPECT_EQ(prefix.has_value(), c.given) << c.path;
    if (!prefix) {
      EXPECT_EQ(path, c.path) << "an address without a prefix stays as it is";
      continue;
    }
    EXPECT_EQ(prefix->period, c.period) << c.path;
    EXPECT_EQ(prefix->future, c.future) << c.path;
    EXPECT_EQ(path, c.rest) << c.path;
  }
}

TEST(DecodeQuery, TurnsPlusAndPercentEscapesIntoText) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"a+b%2Cc", "a b,c"}, {"%41%6a", "Aj"}, {"100%", "100%"}, {"%4", "%4"},
      {"%zz", "%zz"},       {"%%41", "%A"},   {"", ""},         {"%C3%A9", "\xc3\xa9"},
  };
  for (const auto& [query, text] : cases) EXPECT_EQ(decodeQuery(query), text) << query;
}

TEST(QueryValue, FindsTheNamedPairDecoded) {
  const struct {
    std::string_view query, name, value;
  } cases[] = {
      {"w=640&f=a+b", "w", "640"}, {"w=640&f=a+b", "f", "a b"}, {"ww=1&w=2", "w", "2"},
      {"w", "w", ""},              {"w=", "w", ""},             {"", "w", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(queryValue(c.query, c.name), c.value) << c.query;
}

}  // namespace
