#include "importrules.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "datum.h"
#include "errorframe.h"
#include "loader.h"
#include "digits.h"
#include "unicode.h"

namespace murex {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  return s;
}

// A value ends where a comment begins: a ";" after a blank, outside double quotes. The value
// may itself start with one (separator = ;).
std::string_view withoutComment(std::string_view value) {
  value = trim(value);
  bool quoted = false;
  for (size_t i = 1; i < value.size(); ++i) {
    if (value[i] == '"') quoted = !quoted;
    if (value[i] == ';' && !quoted && (value[i - 1] == ' ' || value[i - 1] == '\t'))
      return trim(value.substr(0, i));
  }
  return value;
}

enum class Section { None, Csv, Ledger, Match };

struct Reader {
  Reader(ImportRules& rules, const Ledger& ledger) : rules(rules), ledger(ledger) {}
  ImportRules& rules;
  const Ledger& ledger;
  int64_t lineNr = 0;
  std::vector<std::pair<std::string, int64_t>> seen;  // the keys given, and their lines
  int64_t csvLine = 0;     // the [csv] header line
  int64_t ledgerLine = 0;  // the [ledger] header line
  int64_t unknownLine = 0;

  [[noreturn]] void fail(std::string_view message) const {
    raiseInFile(rules.fileName, rules.text, lineNr, message);
  }
};

// A column word: a number from 1, else header text (without its double quotes).
Column columnOf(Reader& r, std::string_view word) {
  Column c;
  c.lineNr = r.lineNr;
  const bool quoted = word.size() >= 2 && word.front() == '"' && word.back() == '"';
  if (quoted) word = word.substr(1, word.size() - 2);
  if (word.empty()) r.fail("Column missing");
  int64_t number = 0;
  if (!quoted && readNumber(word, number)) {
    if (number < 1) r.fail("Columns are counted from 1: " + std::string(word));
    c.number = number;
  } else {
    c.header = word;
  }
  return c;
}

// The description's columns: words at blanks, a header text with blanks in double quotes.
std::vector<Column> columnsOf(Reader& r, std::string_view value) {
  std::vector<Column> columns;
  size_t i = 0;
  while (i < value.size()) {
    if (value[i] == ' ' || value[i] == '\t') {
      ++i;
      continue;
    }
    size_t end = i;
    if (value[i] == '"') {
      end = value.find('"', i + 1);
      if (end == std::string_view::npos) r.fail("Quote not closed");
      ++end;
    } else {
      while (end < value.size() && value[end] != ' ' && value[end] != '\t') ++end;
    }
    columns.push_back(columnOf(r, value.substr(i, end - i)));
    i = end;
  }
  return columns;
}

int64_t accountOf(Reader& r, std::string_view name) {
  const Accounts& accounts = r.ledger.accounts;
  for (int64_t pos = 0; pos < std::ssize(accounts); ++pos) {
    if (accounts[pos].name != name) continue;
    for (const Kind& k : r.ledger.kinds)
      if (k.accountPos == pos)
        r.fail("Inventory account needs a kind, it cannot take a statement's amount: " +
               std::string(name));
    return pos;
  }
  r.fail("Account not declared in the ledger: " + std::string(name));
}

bool yesNo(Reader& r, std::string_view key, std::string_view value) {
  if (value != "yes" && value != "no")
    r.fail("Value wrong for " + std::string(key) + ": '" + std::string(value) + "' (yes or no)");
  return value == "yes";
}

void applyCsv(Reader& r, std::string_view key, std::string_view value) {
  ImportRules& rules = r.rules;
  const auto wrong = [&](std::string_view expected) {
    r.fail("Value wrong for " + std::string(key) + ": '" + std::string(value) + "' (" +
           std::string(expected) + ")");
  };
  if (key == "separator") {
    if (value == "tab") {
      rules.separator = '\t';
    } else if (value.size() == 1 && value[0] != '"' && uint8_t(value[0]) < 0x80) {
      rules.separator = value[0];
    } else {
      wrong("one character, or the word tab");
    }
  } else if (key == "skip") {
    if (!readNumber(value, rules.skip)) wrong("a number of lines");
  } else if (key == "encoding") {
    if (value != "utf-8" && value != "latin1") wrong("utf-8 or latin1");
    rules.encoding = value == "latin1" ? Encoding::Latin1 : Encoding::Utf8;
  } else if (key == "dateFormat") {
    if (!dateFmtVerify(value)) wrong("a date format such as d.m.y");
    rules.dateFormat = value;
  } else if (key == "decimalSep") {
    if (value != "dot" && value != "comma") wrong("dot or comma");
    rules.decimalComma = value == "comma";
  } else if (key == "negate") {
    rules.negate = yesNo(r, key, value);
  } else if (key == "description") {
    rules.description = columnsOf(r, value);
  } else {
    Column* column = key == "date"     ? &rules.date
                     : key == "amount" ? &rules.amount
                     : key == "in"     ? &rules.in
                     : key == "out"    ? &rules.out
                     : key == "id"     ? &rules.id
                                       : nullptr;
    if (column == nullptr) r.fail("Key unknown in [csv]: " + std::string(key));
    *column = columnOf(r, value);
  }
}

void applySetting(Reader& r, Section section, std::string_view key, std::string_view value) {
  if (section == Section::None) r.fail("Setting before the first [section]");
  if (section == Section::Match) {
    MatchRule rule{.words = std::string(key),
                   .folded = {},
                   .accountPos = accountOf(r, value),
                   .lineNr = r.lineNr};
    for (const std::string& w : splitUnicodeSpace(lowerUnicode(key))) rule.folded.push_back(w);
    r.rules.match.push_back(std::move(rule));
    return;
  }
  const std::string name = (section == Section::Csv ? "csv." : "ledger.") + std::string(key);
  for (const auto& [k, line] : r.seen)
    if (k == name)
      r.fail("Key given twice: " + std::string(key) + " (first at line " + std::to_string(line) +
             ")");
  r.seen.emplace_back(name, r.lineNr);
  if (value.empty()) r.fail("Value missing for " + std::string(key));
  if (section == Section::Csv) {
    applyCsv(r, key, value);
  } else if (key == "account") {
    r.rules.accountPos = accountOf(r, value);
  } else if (key == "unknown") {
    r.rules.unknownPos = accountOf(r, value);
    r.unknownLine = r.lineNr;
  } else {
    r.fail("Key unknown in [ledger]: " + std::string(key));
  }
}

// The keys without which nothing can be imported, and the columns that need a header.
void checkComplete(Reader& r) {
  ImportRules& rules = r.rules;
  // Without its section, a key is missing at the file's end: the line after its last line
  // end (line 1 of an empty file).
  const int64_t endLine = 1 + int64_t(std::count(rules.text.begin(), rules.text.end(), '\n'));
  const auto missing = [&](int64_t sectionLine, std::string_view what) {
    r.lineNr = sectionLine > 0 ? sectionLine : endLine;
    r.fail("Key missing: " + std::string(what));
  };
  if (rules.date.lineNr == 0) missing(r.csvLine, "date in [csv]");
  if (rules.description.empty()) missing(r.csvLine, "description in [csv]");
  const bool inOut = rules.in.lineNr > 0 || rules.out.lineNr > 0;
  if (rules.amount.lineNr == 0 && !inOut) missing(r.csvLine, "amount (or in and out) in [csv]");
  if (rules.amount.lineNr > 0 && inOut) {
    r.lineNr = std::max(rules.in.lineNr, rules.out.lineNr);
    r.fail("amount, or in and out: not both");
  }
  if (inOut && rules.in.lineNr == 0) missing(r.csvLine, "in in [csv], beside out");
  if (inOut && rules.out.lineNr == 0) missing(r.csvLine, "out in [csv], beside in");
  if (rules.accountPos < 0) missing(r.ledgerLine, "account in [ledger]");
  if (rules.unknownPos < 0) missing(r.ledgerLine, "unknown in [ledger]");
  // The two sides of a row's transaction must differ, or the statement's amount vanishes.
  for (const MatchRule& m : rules.match) {
    if (m.accountPos == rules.accountPos) {
      r.lineNr = m.lineNr;
      r.fail("The statement's account cannot be its own counter-account: " +
             r.ledger.accounts[size_t(m.accountPos)].name);
    }
  }
  if (rules.unknownPos == rules.accountPos) {
    r.lineNr = r.unknownLine;
    r.fail("The statement's account cannot be its own counter-account: " +
           r.ledger.accounts[size_t(rules.unknownPos)].name);
  }
  if (rules.skip > 0) return;
  std::vector<const Column*> named = {&rules.date, &rules.amount, &rules.in, &rules.out,
                                      &rules.id};
  for (const Column& c : rules.description) named.push_back(&c);
  for (const Column* c : named) {
    if (c->lineNr > 0 && c->number == 0) {
      r.lineNr = c->lineNr;
      r.fail("Column named by its header, but there is no header line (skip = 0): " + c->header);
    }
  }
}

}  // namespace

ImportRules readImportRules(const std::string& fileName, const Ledger& ledger) {
  ImportRules rules;
  rules.fileName = fileName;
  rules.text = decodeStatement(readWholeFile(fileName), Encoding::Utf8, fileName,
                               "the rules file is read as UTF-8");
  rules.dateFormat = ledger.dateFormat;
  rules.decimalComma = ledger.decimalComma;
  Reader r(rules, ledger);
  Section section = Section::None;
  const std::string_view text = rules.text;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = trim(text.substr(begin, end - begin));
    begin = end + 1;
    ++r.lineNr;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const std::string_view head = withoutComment(line);
      if (head == "[csv]") {
        section = Section::Csv;
        r.csvLine = r.lineNr;
      } else if (head == "[ledger]") {
        section = Section::Ledger;
        r.ledgerLine = r.lineNr;
      } else if (head == "[match]") {
        section = Section::Match;
      } else {
        r.fail("Section unknown: " + std::string(head) + " (one of [csv], [ledger], [match])");
      }
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || trim(line.substr(0, eq)).empty())
      r.fail("Line wrong: neither a [section], a key = value nor a ; comment");
    applySetting(r, section, trim(line.substr(0, eq)), withoutComment(line.substr(eq + 1)));
  }
  checkComplete(r);
  return rules;
}

}  // namespace murex
