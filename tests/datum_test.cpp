// datum: date formats, reading and writing dates, day numbers and the financial periods.
#include "datum.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "raised.h"

using namespace murex;

TEST(DateFmtVerify, WantsThreeFieldsAndTwoSeparators) {
  const std::pair<std::string_view, bool> cases[] = {
      {"y-m-d", true},  {"Y.M.D", true},   {"d.m.y", true},   {"m/d/Y", true},
      {"D.M.y", true},  {"y/m-d", true},   {"y-m-d ", false}, {"y m d", false},
      {"y-y-d", false}, {"ymd", false},    {"y-m-x", false},  {"", false},
      {"y-m-", false},  {"-y-m-d", false}, {"y_m_d", false},  {"yy-md", false},
  };
  for (const auto& [fmt, want] : cases) EXPECT_EQ(dateFmtVerify(fmt), want) << fmt;
}

struct DateCase {
  std::string_view text;
  std::string_view fmt;
  Datum want;
  int64_t consumed;
};

TEST(ParseDate, ReadsEachFieldLetter) {
  const DateCase cases[] = {
      {"2024-02-29", "y-m-d", 20240229, 10},  {"2000-02-29", "y-m-d", 20000229, 10},
      {"2100-12-31", "y-m-d", 21001231, 10},  {"1970-01-01", "y-m-d", 19700101, 10},
      {"7.4.2024", "D.M.y", 20240407, 8},     {"30.04.24", "d.m.Y", 20240430, 8},
      {"2024-4-30", "y-M-d", 20240430, 9},    {"12/31/99", "m/d/Y", 20991231, 8},
      {"2024-04-30x", "y-m-d", 20240430, 10}, {"2024/04-30", "y/m-d", 20240430, 10},
      {"10.12.2024", "D.M.y", 20241210, 10},
  };
  for (const DateCase& c : cases) {
    const DateRead r = parseDate(c.text, c.fmt, 0);
    EXPECT_EQ(r.date, c.want) << c.text;
    EXPECT_EQ(r.consumed, c.consumed) << c.text;
  }
  const DateRead r = parseDate("on 2024-04-30", "y-m-d", 3);
  EXPECT_EQ(r.date, 20240430);
  EXPECT_EQ(r.consumed, 10);
}

struct DateErrorCase {
  std::string_view text;
  std::string_view fmt;
  std::string_view message;
};

TEST(ParseDate, NamesTheFirstWrongField) {
  const DateErrorCase cases[] = {
      {"2023-02-29", "y-m-d", "day wrong"},
      {"2100-02-29", "y-m-d", "day wrong"},
      {"2024-02-30", "y-m-d", "day wrong"},
      {"1969-12-31", "y-m-d", "year wrong"},
      {"2101-01-01", "y-m-d", "year wrong"},
      {"2024-13-01", "y-m-d", "month wrong"},
      {"2024-00-10", "y-m-d", "month wrong"},
      {"2024-04-31", "y-m-d", "day wrong"},
      {"2024-04-00", "y-m-d", "day wrong"},
      {"2024-04-32", "y-m-d", "day wrong"},
      {"2024-04", "y-m-d", "do not match format"},
      {"2024/04/30", "y-m-d", "do not match format"},
      {"", "y-m-d", "do not match format"},
      {"2024-", "y-m-d", "do not match format"},
      {"07.4.2024", "D.M.y", "year wrong"},
      {"3x.04.2024", "d.m.y", "year wrong"},
      {"2024-04-3x", "y-m-d", "day wrong"},
      {"2024-4-30", "y-m-d", "month wrong"},
      {"20240-04-30", "y-m-d", "year wrong"},
      {"999-01-01", "Y-m-d", "year wrong"},
      {"2024-04-30", "ymd", "Date pattern wrong: ymd"},
      {"2024-04-30", "y-m-d ", "Date pattern wrong: y-m-d "},
      {"1.99999999999999999999.2024", "D.M.y", "Number too big: '1.99999999999999999999.2024'"},
      {"1.2.99999999999999999999", "D.M.y", "year wrong"},
  };
  for (const DateErrorCase& c : cases)
    EXPECT_EQ(raisedMessage([&] { parseDate(c.text, c.fmt, 0); }), c.message) << c.text;
  EXPECT_EQ(raisedMessage([] { parseDate("2024-04-30", "y-m-d", 11); }), "do not match format");
}

TEST(FormatDatum, WritesEachFieldLetter) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"y-m-d", "2024-04-07"}, {"D.M.y", "7.4.2024"},   {"m/d/Y", "04/07/24"},
      {"Y.M.D", "24.4.7"},     {"d/m-y", "07/04-2024"},
  };
  for (const auto& [fmt, want] : cases) EXPECT_EQ(formatDatum(20240407, fmt), want) << fmt;
  EXPECT_EQ(formatDatum(20240107, "D/M/Y"), "7/1/24");
  EXPECT_EQ(formatDatum(21001231, "D.M.Y"), "31.12.00");
  EXPECT_EQ(formatDatum(19701112, "D.M.Y"), "12.11.70");
}

TEST(IsLeapYear, FollowsTheGregorianRule) {
  EXPECT_TRUE(isLeapYear(2024));
  EXPECT_TRUE(isLeapYear(2000));
  EXPECT_FALSE(isLeapYear(2100));
  EXPECT_FALSE(isLeapYear(2023));
}

TEST(DayNumber, CountsDaysSince1970) {
  const std::pair<Datum, int64_t> cases[] = {
      {19700101, 0},     {19700201, 31},    {19710101, 365},   {19730101, 1096},
      {20000101, 10957}, {20000301, 11017}, {20240229, 19782}, {21001231, 47846},
  };
  for (const auto& [d, n] : cases) {
    EXPECT_EQ(dayNumber(d), n) << d;
    EXPECT_EQ(dateOfDayNumber(n), d) << n;
  }
}

TEST(DateOfDayNumber, RoundTripsEveryDay) {
  Datum prev = 0;
  for (int64_t n = 0; n <= dayNumber(21001231); ++n) {
    const Datum d = dateOfDayNumber(n);
    ASSERT_GT(d, prev);
    ASSERT_EQ(dayNumber(d), n);
    ASSERT_EQ(parseDate(formatDatum(d, "y-m-d"), "y-m-d", 0).date, d);
    prev = d;
  }
}

TEST(AddDays, CrossesMonthsYearsAndLeapDays) {
  EXPECT_EQ(addDays(20231231, 1), 20240101);
  EXPECT_EQ(addDays(20240228, 1), 20240229);
  EXPECT_EQ(addDays(20230228, 1), 20230301);
  EXPECT_EQ(addDays(20240301, -1), 20240229);
  EXPECT_EQ(addDays(19700102, -1), 19700101);
}

TEST(Today, IsTheUtcDayOfTheClock) {
  const Datum d = dateOfDayNumber(std::time(nullptr) / 86400);
  const Datum t = today();
  // The clock may pass midnight between the two readings.
  EXPECT_TRUE(t == d || t == addDays(d, 1)) << t;
}

TEST(PeriodSplit, ReadsNamesWithAndWithoutYear) {
  struct Case {
    std::string_view text;
    int64_t year;
    std::string_view name;
  };
  const Case cases[] = {
      {"Q2", 2024, "Q2"},       {"2021Q3", 2021, "Q3"}, {"2021q3", 2021, "Q3"},
      {"2021M12", 2021, "M12"}, {"y", 2024, "Y"},       {"3q", 2024, "Q3"},
      {"1h", 2024, "H1"},       {"12m", 2024, "M12"},   {"q3c", 2024, "Q3C"},
      {"4M", 2024, "M4"},       {"10M", 2024, "M10"},   {"1970y", 1970, "Y"},
      {"2100m2", 2100, "M2"},
  };
  for (const Case& c : cases) {
    const PeriodChoice p = periodSplit(c.text, 2024);
    EXPECT_EQ(p.year, c.year) << c.text;
    EXPECT_EQ(p.name, c.name) << c.text;
  }
}

TEST(PeriodSplit, RefusesBadYearsAndNames) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"Q5", "Period wrong: 'Q5'"},
      {"2021Q5", "Period wrong: 'Q5'"},
      {"", "Period wrong: ''"},
      {"2021", "Period wrong: '2021'"},
      {"q5", "Period wrong: 'q5'"},
      {"2021y2", "Period wrong: 'y2'"},
      {"2021 Q1", "Period wrong: ' Q1'"},
      {"20213Q", "Year wrong: '20213Q'"},
      {"202112M", "Year wrong: '202112M'"},
      {"1969Y", "Year wrong: '1969Y'"},
      {"2101Y", "Year wrong: '2101Y'"},
      {"Q3abc", "Year wrong: 'Q3abc'"},
      {"99999999999999999999Y", "Year wrong: '99999999999999999999Y'"},
  };
  for (const auto& [text, message] : cases)
    EXPECT_EQ(raisedMessage([&] { periodSplit(text, 2024); }), message) << text;
}

TEST(NormalizePeriodName, TurnsDigitFirstFormsRound) {
  const std::pair<std::string_view, PeriodName> cases[] = {
      {"3q", {"Q3", true}},    {"12m", {"M12", true}}, {"q3c", {"Q3C", true}},
      {"m13", {"M13", false}}, {"1x", {"X1", false}},  {"", {"", false}},
  };
  for (const auto& [typed, want] : cases) {
    const PeriodName got = normalizePeriodName(typed);
    EXPECT_EQ(got.name, want.name) << typed;
    EXPECT_EQ(got.known, want.known) << typed;
  }
}

TEST(PeriodToDatum, GivesTheBoundsOfEachRow) {
  struct Case {
    int64_t year;
    std::string_view name;
    Datum first;
    Datum last;
  };
  const Case cases[] = {
      {2024, "Q2", 20240401, 20240630},  {2024, "M2", 20240201, 20240229},
      {2023, "M2", 20230201, 20230228},  {2100, "Y", 21000101, 21001231},
      {2100, "M2", 21000201, 21000228},  {2000, "M2", 20000201, 20000229},
      {2024, "Q3C", 20240101, 20240930}, {2024, "H2", 20240701, 20241231},
      {2024, "M11", 20241101, 20241130}, {1970, "Q1", 19700101, 19700331},
  };
  for (const Case& c : cases) {
    const DateRange r = periodToDatum(c.year, c.name);
    EXPECT_EQ(r.first, c.first) << c.name;
    EXPECT_EQ(r.last, c.last) << c.name;
  }
  EXPECT_EQ(raisedMessage([] { periodToDatum(2024, "q2"); }), "Wrong period: q2");
}

TEST(PeriodList, OffersWholeYearsAndTheOverlappingPeriodsOfTheCurrentYear) {
  using List = std::vector<std::string>;
  EXPECT_EQ(periodList(20240101, 20240515, 2024),
            (List{"2024Q1", "2024Q2", "2024Q3C", "2024H1", "2024Y", "2024M1", "2024M2", "2024M3",
                  "2024M4", "2024M5"}));
  EXPECT_EQ(periodList(20230101, 20240310, 2024),
            (List{"2023Y", "2024Q1", "2024Q3C", "2024H1", "2024Y", "2024M1", "2024M2", "2024M3"}));
  EXPECT_EQ(periodList(20240215, 20241231, 2024),
            (List{"2024Q1", "2024Q2", "2024Q3", "2024Q4", "2024Q3C", "2024H1", "2024H2", "2024Y",
                  "2024M2", "2024M3", "2024M4", "2024M5", "2024M6", "2024M7", "2024M8", "2024M9",
                  "2024M10", "2024M11", "2024M12"}));
  EXPECT_EQ(periodList(20210105, 20230101, 2020), (List{"2021Y", "2022Y", "2023Y"}));
  EXPECT_EQ(periodList(20240229, 20240229, 2024),
            (List{"2024Q1", "2024Q3C", "2024H1", "2024Y", "2024M2"}));
}
