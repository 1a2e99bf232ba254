#include "datum.h"

#include <cassert>
#include <charconv>
#include <ctime>

#include "digits.h"
#include "error.h"

namespace murex {

Datum makeDatum(int64_t year, int64_t moDy) {
  assert(year >= yearMin && year <= yearMax);
  assert(moDy >= 0 && moDy <= 1231);
  return year * 10000 + moDy;
}

bool isLeapYear(int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

namespace {

struct MonthRow {
  std::string_view name;
  int64_t days;  // February's in a common year
};

constexpr MonthRow months[12] = {{"Jan", 31}, {"Feb", 28}, {"Mar", 31}, {"Apr", 30},
                                 {"May", 31}, {"Jun", 30}, {"Jul", 31}, {"Aug", 31},
                                 {"Sep", 30}, {"Oct", 31}, {"Nov", 30}, {"Dec", 31}};

}  // namespace

int64_t monthLength(int64_t year, int64_t month) {
  assert(month >= 1 && month <= 12);
  return month == 2 && isLeapYear(year) ? 29 : months[month - 1].days;
}

Datum monthEnd(int64_t year, int64_t month) {
  return year * 10000 + month * 100 + monthLength(year, month);
}

std::string_view monthName(int64_t month) {
  assert(month >= 1 && month <= 12);
  return months[month - 1].name;
}

bool dateFmtVerify(std::string_view fmt) {
  if (fmt.size() != 5) return false;
  char f[5];
  for (int i = 0; i < 5; ++i) {
    char c = fmt[i];
    if (c == '/' || c == '.') c = '-';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    f[i] = c;
  }
  if (f[1] != '-' || f[3] != '-') return false;
  const std::string_view s(f, 5);
  return s.find('y') != s.npos && s.find('m') != s.npos && s.find('d') != s.npos;
}

namespace {

// The date that starts at pos, or the message of what is wrong with it.
struct DateScan {
  DateRead read;
  std::string_view fault;  // "" when the date is good
};

DateScan scanDate(std::string_view text, std::string_view fmt, int64_t pos) {
  assert(pos >= 0);
  if (!dateFmtVerify(fmt)) return {.read = {}, .fault = "Date pattern wrong: $1"};
  const int64_t n = std::ssize(text);
  int64_t year = 0;
  int64_t month = 0;
  int64_t day = 0;
  int64_t q = pos;
  // A field whose digits do not fit ends the walk; the range checks below then name the
  // first of year, month and day that is still wrong.
  for (const char f : fmt) {
    if (q >= n) return {.read = {}, .fault = "do not match format"};
    int64_t v = 0;
    if (f == 'y' || f == 'Y' || f == 'm' || f == 'd') {
      if (!parseDigits(text, q, f == 'y' ? 4 : 2, v)) break;
      q += f == 'y' ? 4 : 2;
      if (f == 'y') year = v;
      if (f == 'Y') year = 2000 + v;
      if (f == 'm') month = v;
      if (f == 'd') day = v;
    } else if (f == 'M' || f == 'D') {
      const BigInt run = toBigInt(text, q);
      if (run.len < 1 || run.len > 2 || text[q] == '0') break;
      q += run.len;
      (f == 'M' ? month : day) = run.value;
    } else {
      if (text[q] != f) return {.read = {}, .fault = "do not match format"};
      ++q;
    }
  }
  if (year < yearMin || year > yearMax) return {.read = {}, .fault = "year wrong"};
  if (month == 0 || month > 12) return {.read = {}, .fault = "month wrong"};
  if (day == 0 || day > monthLength(year, month)) return {.read = {}, .fault = "day wrong"};
  return {.read = {.consumed = q - pos, .date = year * 10000 + month * 100 + day}, .fault = ""};
}

}  // namespace

DateRead parseDate(std::string_view text, std::string_view fmt, int64_t pos) {
  const DateScan scan = scanDate(text, fmt, pos);
  if (!scan.fault.empty()) raiseValue(scan.fault, {fmt});
  return scan.read;
}

DateCheck checkDate(std::string_view text, std::string_view fmt, int64_t pos) {
  const DateScan scan = scanDate(text, fmt, pos);
  return {.read = scan.read, .error = scan.fault};
}

bool readDateWord(std::string_view word, std::string_view fmt, Datum& date) {
  // A digit run too long for the digit reader, which would raise, is no date either.
  int64_t run = 0;
  for (const char c : word) {
    run = c >= '0' && c <= '9' ? run + 1 : 0;
    if (run > 18) return false;
  }
  const DateScan scan = scanDate(word, fmt, 0);
  if (!scan.fault.empty() || scan.read.consumed != std::ssize(word)) return false;
  date = scan.read.date;
  return true;
}

namespace {

void appendNumber(std::string& out, int64_t v, int width) {
  char buf[24];
  const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  for (int64_t k = end - buf; k < width; ++k) out.push_back('0');
  out.append(buf, end);
}

constexpr int64_t daysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

int64_t yearLength(int64_t year) { return isLeapYear(year) ? 366 : 365; }

int64_t daysBeforeMonth(int64_t year, int64_t month) {
  return daysBefore[month - 1] + (month > 2 && isLeapYear(year) ? 1 : 0);
}

}  // namespace

std::string formatDatum(Datum d, std::string_view fmt) {
  assert(dateFmtVerify(fmt));
  std::string out;
  out.reserve(10);
  for (const char f : fmt) {
    switch (f) {
      case 'y':
        appendNumber(out, yearOf(d), 4);
        break;
      case 'Y':
        appendNumber(out, yearOf(d) % 100, 2);
        break;
      case 'm':
        appendNumber(out, monthOf(d), 2);
        break;
      case 'M':
        appendNumber(out, monthOf(d), 1);
        break;
      case 'd':
        appendNumber(out, dayOf(d), 2);
        break;
      case 'D':
        appendNumber(out, dayOf(d), 1);
        break;
      default:
        out.push_back(f);
    }
  }
  return out;
}

Datum today() {
  const int64_t seconds = static_cast<int64_t>(std::time(nullptr));
  // A clock set outside the calendar the program knows is held at its ends.
  const int64_t days = seconds < 0 ? 0 : seconds / 86400;
  const int64_t lastDay = dayNumber(makeDatum(yearMax, 1231));
  return dateOfDayNumber(days > lastDay ? lastDay : days);
}

int64_t dayNumber(Datum d) {
  const int64_t year = yearOf(d);
  const int64_t mo = monthOf(d);
  assert(year >= yearMin && year <= yearMax);
  assert(mo >= 1 && mo <= 12);
  int64_t n = 0;
  for (int64_t y = yearMin; y < year; ++y) n += yearLength(y);
  return n + daysBeforeMonth(year, mo) + dayOf(d) - 1;
}

Datum dateOfDayNumber(int64_t n) {
  assert(n >= 0);
  int64_t year = yearMin;
  while (n >= yearLength(year)) {
    n -= yearLength(year);
    ++year;
  }
  int64_t month = 12;
  while (month > 1 && n < daysBeforeMonth(year, month)) --month;
  return year * 10000 + month * 100 + (n - daysBeforeMonth(year, month) + 1);
}

Datum addDays(Datum d, int64_t days) {
  const int64_t n = dayNumber(d) + days;
  assert(n >= 0);
  return dateOfDayNumber(n);
}

namespace {

struct PeriodRow {
  std::string_view name;
  int64_t first;
  int64_t last;  // M2 ends on 229 in a leap year
};

constexpr PeriodRow periods[] = {
    {"Q1", 101, 331},  {"Q2", 401, 630},    {"Q3", 701, 930},    {"Q4", 1001, 1231},
    {"Q3C", 101, 930}, {"H1", 101, 630},    {"H2", 701, 1231},   {"Y", 101, 1231},
    {"M1", 101, 131},  {"M2", 201, 228},    {"M3", 301, 331},    {"M4", 401, 430},
    {"M5", 501, 531},  {"M6", 601, 630},    {"M7", 701, 731},    {"M8", 801, 831},
    {"M9", 901, 930},  {"M10", 1001, 1031}, {"M11", 1101, 1130}, {"M12", 1201, 1231},
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

DateRange rowRange(int64_t year, const PeriodRow& row) {
  const int64_t last = row.name == "M2" && isLeapYear(year) ? 229 : row.last;
  return DateRange{.first = makeDatum(year, row.first), .last = makeDatum(year, last)};
}

}  // namespace

PeriodName normalizePeriodName(std::string_view typed) {
  PeriodName p{.name = std::string(typed)};
  std::string& s = p.name;
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  if (s.size() == 2 && isDigit(s[0])) {
    std::swap(s[0], s[1]);
  } else if (s.size() == 3 && isDigit(s[0]) && isDigit(s[1])) {
    s = std::string(1, s[2]) + s.substr(0, 2);
  }
  for (const PeriodRow& row : periods)
    if (row.name == s) p.known = true;
  return p;
}

PeriodChoice periodSplit(std::string_view text, int64_t defaultYear) {
  PeriodChoice choice{.year = defaultYear, .name = {}};
  std::string_view namePart = text;
  if (text.size() >= 5) {
    int64_t year = 0;
    if (!parseDigits(text, 0, 4, year) || year < yearMin || year > yearMax)
      raiseValue("Year wrong: '$1'", {text});
    choice.year = year;
    namePart = text.substr(4);
  }
  PeriodName p = normalizePeriodName(namePart);
  if (!p.known) raiseValue("Period wrong: '$1'", {namePart});
  choice.name = std::move(p.name);
  return choice;
}

DateRange periodToDatum(int64_t year, std::string_view name) {
  assert(year >= yearMin && year <= yearMax);
  for (const PeriodRow& row : periods)
    if (row.name == name) return rowRange(year, row);
  raiseValue("Wrong period: $1", {name});
}

std::vector<std::string> periodList(Datum dStart, Datum dEnd, int64_t currYear) {
  assert(dStart <= dEnd && currYear >= yearMin && currYear <= yearMax);
  std::vector<std::string> list;
  for (int64_t y = yearOf(dStart); y <= yearOf(dEnd); ++y) {
    char buf[24];
    const std::string yearText(buf, std::to_chars(buf, buf + sizeof buf, y).ptr);
    if (y != currYear) {
      list.push_back(yearText + "Y");
      continue;
    }
    for (const PeriodRow& row : periods) {
      const DateRange r = rowRange(y, row);
      if (r.first <= dEnd && r.last >= dStart) list.push_back(yearText + std::string(row.name));
    }
  }
  return list;
}

}  // namespace murex
