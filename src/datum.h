// datum: calendar dates as single integers (20240430), read and written by five-character
// date formats, and the named financial periods (Q1, 2021H2, M4, ...).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace murex {

// year * 10000 + month * 100 + day; compares as a plain integer.
using Datum = int64_t;

constexpr int64_t yearMin = 1970;
constexpr int64_t yearMax = 2100;

constexpr int64_t yearOf(Datum d) { return d / 10000; }
constexpr int64_t monthOf(Datum d) { return d % 10000 / 100; }
constexpr int64_t dayOf(Datum d) { return d % 100; }
Datum makeDatum(int64_t year, int64_t moDy);  // asserts the year range and moDy <= 1231
bool isLeapYear(int64_t year);
int64_t monthLength(int64_t year, int64_t month);  // days, month 1 to 12
Datum monthEnd(int64_t year, int64_t month);       // the month's last day
std::string_view monthName(int64_t month);          // "Jan" for 1 ... "Dec" for 12

// A date format: three field letters (yY, mM, dD) with "-", "/" or "." between them.
bool dateFmtVerify(std::string_view fmt);

struct DateRead {
  int64_t consumed = 0;  // characters of the text that the date took
  Datum date = 0;
};
// Reads a date that starts exactly at pos; raises "Date pattern wrong: <fmt>",
// "do not match format", "year wrong", "month wrong" or "day wrong".
DateRead parseDate(std::string_view text, std::string_view fmt, int64_t pos);
// The whole word as a date, without raising: false where parseDate would raise or leave
// characters over.
bool readDateWord(std::string_view word, std::string_view fmt, Datum& date);
// The same reading without raising: error is the message parseDate would raise ("" when
// the date is good; "Date pattern wrong: $1" still lacks the format).
struct DateCheck {
  DateRead read;
  std::string_view error;
};
DateCheck checkDate(std::string_view text, std::string_view fmt, int64_t pos);
std::string formatDatum(Datum d, std::string_view fmt);

Datum today();  // the UTC calendar day of the system clock
int64_t dayNumber(Datum d);  // days since 1970-01-01
Datum dateOfDayNumber(int64_t n);
Datum addDays(Datum d, int64_t days);

// Financial periods.
struct PeriodName {
  std::string name;  // upper-cased, digit-first forms turned round ("3q" is "Q3")
  bool known = false;
};
PeriodName normalizePeriodName(std::string_view typed);

struct PeriodChoice {
  int64_t year = 0;
  std::string name;  // a name of the period table
};
// "Q2", "2021q3", "12m", ...; raises "Year wrong: '<text>'" or "Period wrong: '<name>'".
PeriodChoice periodSplit(std::string_view text, int64_t defaultYear);

struct DateRange {
  Datum first = 0;
  Datum last = 0;
};
// Raises "Wrong period: <name>" for a name outside the table.
DateRange periodToDatum(int64_t year, std::string_view name);
// The period texts offered for a ledger from dStart to dEnd: whole years, and every
// overlapping period of currYear ("2023Y", "2024Q1", ...).
std::vector<std::string> periodList(Datum dStart, Datum dEnd, int64_t currYear);

}  // namespace murex
