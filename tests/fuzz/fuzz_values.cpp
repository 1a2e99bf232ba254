// Fuzz target for the value readers: amounts, dates, periods, formats and the Unicode
// helpers. Only murex::Error may escape them; anything else, a sanitizer report or a broken
// round trip is a finding. fuzz-max-len: 256
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "amount.h"
#include "config.h"
#include "datum.h"
#include "fuzz_support.h"
#include "digits.h"
#include "html.h"
#include "template.h"
#include "texttable.h"
#include "unicode.h"

using namespace murex;

namespace {

void money(std::string_view s) {
  for (const bool comma : {false, true}) {
    tolerant([&] {
      const Money m = parseMoney(s, comma);
      // What was read is written back and read again to the same cents.
      check(parseMoney(formatMoney(m, comma ? "#_###_###,##" : "#_###_###.##"), comma) == m);
      reportMoney(m, "###,###,###,###.##", m % 100 == 0);
    });
    tolerant([&] {
      Warnings warnings;
      parseMoneyMul(s, comma, warnings);
    });
  }
}

void dates(std::string_view s) {
  for (const std::string_view fmt : {"y-m-d", "D.M.y", "m/d/Y", "Y.M.D"}) {
    tolerant([&] {
      const DateRead r = parseDate(s, fmt, 0);
      check(r.consumed >= 5 && r.consumed <= std::ssize(s));
      check(dateOfDayNumber(dayNumber(r.date)) == r.date);
      check(parseDate(formatDatum(r.date, fmt), fmt, 0).date == r.date);
    });
  }
  if (s.size() >= 5) {
    const std::string_view fmt = s.substr(0, 5);
    tolerant([&] { parseDate(s, fmt, 5); });
    if (dateFmtVerify(fmt)) formatDatum(20240229, fmt);
  }
}

void periods(std::string_view s) {
  tolerant([&] {
    const PeriodChoice p = periodSplit(s, 2024);
    const DateRange r = periodToDatum(p.year, p.name);
    check(r.first <= r.last);
    periodList(r.first, r.last, p.year);
  });
  normalizePeriodName(s);
}

void text(std::string_view s) {
  const std::string lower = lowerUnicode(s);
  check(lowerUnicode(lower) == lower);
  check(codePointCount(lower) == codePointCount(s));
  check(startsWithFolded(s, s) && startsWithFolded(lower, s) && startsWithFolded(s, lower));
  startsWithFolded(s.substr(s.size() / 2), s.substr(0, s.size() / 2));
  std::string joined;
  for (const std::string& w : splitUnicodeSpace(s)) joined += w;
  check(joined.size() <= s.size());
  escapeHtml(s, true);
  numFmtVerify(s);
  dateFmtVerify(s);
  fillNumbered(s, {"$1", "x"});
  fillNamed(s, {{"a", "$a"}, {"ab", "b"}});
  tolerant([&] { toBigInt(s, 0); });
  if (numFmtVerify(s)) formatMoney(-123456789, s);
}

// Lines become cells of a table of 1 to 4 columns; the first byte picks the columns and
// their alignment.
void table(std::string_view s) {
  if (s.empty()) return;
  const auto mode = static_cast<unsigned char>(s[0]);
  const int64_t cols = 1 + mode % 4;
  std::vector<std::string> cells;
  size_t start = 1;
  while (start <= s.size()) {
    const size_t end = std::min(s.find('\n', start), s.size());
    cells.emplace_back(s.substr(start, end - start));
    start = end + 1;
  }
  cells.resize(cells.size() / cols * cols);
  std::string al;
  for (int64_t c = 0; c < cols; ++c) al.push_back((mode >> (2 + c)) & 1 ? 'R' : 'L');
  const std::string t = textTable(cells, cols, al, {1, -2}, (mode & 0x40) != 0);
  check(cells.empty() == t.empty());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view s(reinterpret_cast<const char*>(data), size);
  money(s);
  dates(s);
  periods(s);
  text(s);
  table(s);
  return 0;
}
