#include "statement.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bankamount.h"
#include "csv.h"
#include "encoding.h"
#include "error.h"
#include "errorframe.h"
#include "loader.h"
#include "unicode.h"

namespace murex {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// A cell of a description appended: control characters (the line breaks of a quoted
// field among them) and runs of blanks become one blank, none at either end.
void appendCleaned(std::string& out, std::string_view cell) {
  bool blank = !out.empty();
  for (const char c : cell) {
    if (uint8_t(c) <= ' ' || c == '\x7f') {
      blank = !out.empty();
    } else {
      if (blank) out.push_back(' ');
      blank = false;
      out.push_back(c);
    }
  }
}

// Where each column of the rules stands in a record: an index from 0.
struct Layout {
  int64_t date = -1, amount = -1, in = -1, out = -1, id = -1;
  std::vector<int64_t> description;
  int64_t needed = 0;           // fields a record must have
  std::string_view neededName;  // the header text of the column that needs them, if named
};

int64_t indexOf(const Column& c, const std::vector<std::string>& header, const Statement& st,
                int64_t headerLine, Layout& layout) {
  if (c.lineNr == 0) return -1;
  int64_t index = c.number - 1;
  if (c.number == 0) {
    const auto same = [&](bool folded) {
      for (size_t k = 0; k < header.size(); ++k) {
        const std::string_view h = trim(header[k]);
        if (folded ? lowerUnicode(h) == lowerUnicode(c.header) : h == c.header) return int64_t(k);
      }
      return int64_t(-1);
    };
    index = same(false);
    if (index < 0) index = same(true);
    if (index < 0)
      raiseInFile(st.fileName, st.text, headerLine,
                  "Column not in the header line: '" + c.header + "'");
  }
  // Only the last column counts: the rules may name any number, however far.
  if (index + 1 >= layout.needed) {
    layout.needed = index + 1;
    layout.neededName = c.number == 0 ? std::string_view(c.header) : std::string_view();
  }
  return index;
}

Money cellAmount(const Statement& st, const ImportRules& rules, const CsvRecord& rec,
                 int64_t index) {
  const std::string_view cell = trim(rec.fields[size_t(index)]);
  Money m = 0;
  const std::string_view problem = readBankAmount(cell, rules.decimalComma, m);
  if (!problem.empty())
    raiseInFile(st.fileName, st.text, rec.lineNr, fillNumbered(problem, {cell}));
  return m;
}

StatementRow rowOf(const Statement& st, const ImportRules& rules, const Layout& layout,
                   const CsvRecord& rec) {
  const int64_t fields = std::ssize(rec.fields);
  if (fields < layout.needed) {
    const std::string_view name = layout.neededName;
    raiseInFile(st.fileName, st.text, rec.lineNr,
                "Column missing: the record has " + std::to_string(fields) +
                    " fields, the rules read column " + std::to_string(layout.needed) +
                    (name.empty() ? "" : " (" + std::string(name) + ")"));
  }
  StatementRow row;
  row.lineNr = rec.lineNr;
  const std::string_view dateCell = trim(rec.fields[size_t(layout.date)]);
  const DateCheck date = checkDate(dateCell, rules.dateFormat, 0);
  if (!date.error.empty() || date.read.consumed != std::ssize(dateCell)) {
    // A year, month or day out of range is named; any other fault is the format's.
    const std::string why =
        date.error.ends_with(" wrong") ? std::string(date.error) : "format " + rules.dateFormat;
    raiseInFile(st.fileName, st.text, rec.lineNr,
                "Date wrong: '" + std::string(dateCell) + "' (" + why + ")");
  }
  row.date = date.read.date;
  if (layout.amount >= 0) {
    row.amount = cellAmount(st, rules, rec, layout.amount);
  } else {
    const bool hasIn = !trim(rec.fields[size_t(layout.in)]).empty();
    const bool hasOut = !trim(rec.fields[size_t(layout.out)]).empty();
    if (!hasIn && !hasOut)
      raiseInFile(st.fileName, st.text, rec.lineNr,
                  "Amount missing: the in and the out column are both empty");
    // The columns hold sizes: a bank that prints money out as negative means the same.
    const Money in = hasIn ? cellAmount(st, rules, rec, layout.in) : 0;
    const Money out = hasOut ? cellAmount(st, rules, rec, layout.out) : 0;
    row.amount = (in < 0 ? -in : in) - (out < 0 ? -out : out);
  }
  if (rules.negate) row.amount = -row.amount;
  for (const int64_t k : layout.description) appendCleaned(row.description, rec.fields[size_t(k)]);
  if (layout.id >= 0) row.id = trim(rec.fields[size_t(layout.id)]);
  return row;
}

}  // namespace

Statement readStatement(const std::string& fileName, const ImportRules& rules) {
  Statement st;
  st.fileName = fileName;
  st.text = decodeStatement(readWholeFile(fileName), rules.encoding, fileName,
                            "a Latin-1 or Windows-1252 statement needs encoding = latin1 in the "
                            "rules");
  CsvReader reader(st.text, rules.separator, fileName);
  const std::vector<std::string> header =
      rules.skip > 0 ? csvLineFields(reader.skipLines(rules.skip), rules.separator)
                     : std::vector<std::string>();
  Layout layout;
  layout.date = indexOf(rules.date, header, st, rules.skip, layout);
  layout.amount = indexOf(rules.amount, header, st, rules.skip, layout);
  layout.in = indexOf(rules.in, header, st, rules.skip, layout);
  layout.out = indexOf(rules.out, header, st, rules.skip, layout);
  layout.id = indexOf(rules.id, header, st, rules.skip, layout);
  for (const Column& c : rules.description)
    layout.description.push_back(indexOf(c, header, st, rules.skip, layout));
  CsvRecord rec;
  while (reader.next(rec)) st.rows.push_back(rowOf(st, rules, layout, rec));
  // Newest first when the dates go down; read from the end, a day's rows keep their order.
  if (!st.rows.empty() && st.rows.front().date > st.rows.back().date)
    std::reverse(st.rows.begin(), st.rows.end());
  std::stable_sort(st.rows.begin(), st.rows.end(),
                   [](const StatementRow& a, const StatementRow& b) { return a.date < b.date; });
  return st;
}

}  // namespace murex
