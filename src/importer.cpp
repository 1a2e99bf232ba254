#include "importer.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "counteraccount.h"
#include "error.h"
#include "errorframe.h"
#include "ledgertext.h"
#include "loader.h"
#include "parse.h"

namespace murex {

namespace {

// What the output copies from the ledger's text: where each transaction stands, how its
// split lines are indented, whether blank lines part its transactions.
struct TextShape {
  std::vector<int64_t> traLines;  // the line of each transaction's date
  std::string indent = "    ";
  bool blankBetween = false;
  bool endsWithLineEnd = true;
};

TextShape shapeOf(std::string_view text) {
  TextShape shape;
  bool previousBlank = false;
  bool lastBlankBefore = false;
  std::string_view lastSplitIndent;
  int64_t lineNr = 1;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(begin, end - begin);
    size_t blanks = 0;
    while (blanks < line.size() && (line[blanks] == ' ' || line[blanks] == '\t')) ++blanks;
    const bool blank = blanks == line.size();
    if (!blank && blanks == 0 && line[0] != ';') {
      // A word in the first column opens a transaction: in a parsed ledger, always a date.
      shape.traLines.push_back(lineNr);
      lastBlankBefore = previousBlank;
    } else if (!blank && blanks > 0 && line[blanks] != ';') {
      lastSplitIndent = line.substr(0, blanks);
    }
    previousBlank = blank;
    begin = end + 1;
    ++lineNr;
  }
  if (!lastSplitIndent.empty()) shape.indent = lastSplitIndent;
  shape.blankBetween = lastBlankBefore && shape.traLines.size() > 1;
  shape.endsWithLineEnd = text.empty() || text.back() == '\n';
  return shape;
}

// A word of ledger text: a semicolon written twice, so that it starts no comment.
void appendLedgerWords(std::string& out, std::string_view words) {
  for (size_t semi = words.find(';'); semi != std::string_view::npos; semi = words.find(';')) {
    out.append(words.substr(0, semi + 1));
    out.push_back(';');
    words.remove_prefix(semi + 1);
  }
  out.append(words);
}

// The id as a comment word: blanks would end it, a semicolon would start a comment.
std::string idWord(std::string_view id) {
  std::string w;
  for (const char c : id) {
    if (uint8_t(c) <= ' ') {
      w.push_back('_');
    } else {
      w.push_back(c);
      if (c == ';') w.push_back(';');
    }
  }
  return w;
}

// The id of a split's comment: the word after "id:", "" when there is none.
std::string_view commentId(std::string_view comment) {
  for (size_t at = comment.find("id:"); at != std::string_view::npos;
       at = comment.find("id:", at + 1)) {
    if (at > 0 && comment[at - 1] != ' ' && comment[at - 1] != '\t') continue;
    const size_t from = at + 3;
    size_t to = from;
    while (to < comment.size() && comment[to] != ' ' && comment[to] != '\t') ++to;
    if (to > from) return comment.substr(from, to - from);
  }
  return {};
}

// The ledger's splits of the statement's account that a row may repeat, each taken once.
class Booked {
 public:
  Booked(const Ledger& ledger, int64_t accountPos, bool statementHasIds) {
    for (const int64_t sp : ledger.accountSplits[size_t(accountPos)]) {
      const Split& s = ledger.splits[size_t(sp)];
      if (s.traPos == 0) continue;  // an opening balance is no movement of a statement
      const std::string_view id = commentId(splitComment(ledger, sp));
      if (!id.empty()) byId[{std::string(id), s.money}].push_back(sp);
      // A split that carries an id is found by it whenever the statement has ids.
      if (id.empty() || !statementHasIds)
        byDay[{ledger.transactions[size_t(s.traPos)].date, s.money}].push_back(sp);
    }
  }
  // The split the row repeats, taken; -1 when none.
  int64_t take(const StatementRow& row, bool& sameId) {
    sameId = false;
    if (!row.id.empty()) {
      if (const int64_t sp = takeFrom(byId, {idWord(row.id), row.amount}); sp >= 0) {
        sameId = true;
        return sp;
      }
    }
    return takeFrom(byDay, {row.date, row.amount});
  }

 private:
  template <typename Key>
  static int64_t takeFrom(std::map<Key, std::vector<int64_t>>& index, const Key& key) {
    const auto it = index.find(key);
    if (it == index.end() || it->second.empty()) return -1;
    const int64_t sp = it->second.front();
    it->second.erase(it->second.begin());
    return sp;
  }
  std::map<std::pair<std::string, Money>, std::vector<int64_t>> byId;
  std::map<std::pair<Datum, Money>, std::vector<int64_t>> byDay;
};

struct Writer {
  const Ledger& ledger;
  const ImportRules& rules;
  const TextShape& shape;
  std::string out;

  // One transaction; one left out (a reason given) as comment lines after the reason.
  void transaction(const StatementRow& row, const Choice& choice, std::string_view reason) {
    const std::string_view prefix = reason.empty() ? "" : "; ";
    if (shape.blankBetween) out += '\n';
    if (!reason.empty()) {
      out += "; left out, ";
      out += reason;
      out += ":\n";
    }
    out += prefix;
    out += formatDatum(row.date, ledger.dateFormat);
    if (!row.description.empty()) {
      out += ' ';
      appendLedgerWords(out, row.description);
    }
    out += '\n';
    out += prefix;
    out += shape.indent;
    out += ledger.accounts[size_t(rules.accountPos)].name;
    out += ' ';
    out += ledgerAmountText(ledger, row.amount);
    if (!row.id.empty()) {
      out += " ; id:";
      out += idWord(row.id);
    }
    out += '\n';
    out += prefix;
    out += shape.indent;
    out += ledger.accounts[size_t(choice.accountPos)].name;
    out += " ; ";
    if (choice.by == ChosenBy::Rule) {
      out += "rule: ";
      appendLedgerWords(out, rules.match[size_t(choice.rule)].words);
    } else if (choice.by == ChosenBy::Ledger) {
      out += "as in line " + std::to_string(shape.traLines[size_t(choice.traPos)]);
    } else {
      out += "nothing decided";
    }
    out += '\n';
  }
};

Money balanceOf(const Ledger& ledger, int64_t accountPos) {
  const std::vector<int64_t>& splits = ledger.accountSplits[size_t(accountPos)];
  return splits.empty() ? Money(0) : ledger.splits[size_t(splits.back())].balance;
}

// The balances the new rows move, checked as the ledger's reading will check them: an
// overflow is reported at the row that causes it, not somewhere in the appended text.
class Balances {
 public:
  Balances(const Ledger& ledger, const Statement& statement)
      : ledger(ledger), statement(statement) {
    for (int64_t pos = 0; pos < std::ssize(ledger.accounts); ++pos)
      balances.push_back(balanceOf(ledger, pos));
  }
  void add(const StatementRow& row, int64_t accountPos, Money amount) {
    Money& balance = balances[size_t(accountPos)];
    if (__builtin_add_overflow(balance, amount, &balance))
      raiseInFile(statement.fileName, statement.text, row.lineNr,
                  "Balance too big with this row: " + ledger.accounts[size_t(accountPos)].name);
  }

 private:
  const Ledger& ledger;
  const Statement& statement;
  std::vector<Money> balances;
};

// Parses the ledger's text with the output appended: it must read, hold the new
// transactions, and move the statement's account by exactly their sum.
void prove(const Ledger& ledger, std::string_view ledgerText, const ImportRules& rules,
           const ImportResult& result, Money sum) {
  Ledger after;
  after.decimalComma = ledger.decimalComma;
  after.dateFormat = ledger.dateFormat;
  // Fed in pieces of whole lines, as a file is: no copy of the whole text is made.
  constexpr size_t pieceBytes = size_t(1) << 18;
  std::string_view rest[2] = {ledgerText, result.text};
  size_t part = 0;
  const auto next = [&](std::string& piece) {
    while (part < 2 && rest[part].empty()) ++part;
    if (part == 2) return false;
    std::string_view& r = rest[part];
    const size_t lineEnd =
        r.size() <= pieceBytes ? std::string_view::npos : r.find('\n', pieceBytes);
    const size_t cut = lineEnd == std::string_view::npos ? r.size() : lineEnd + 1;
    // The output's lines are normalised here; the ledger's were when it was read.
    piece = part == 0 ? std::string(r.substr(0, cut)) : normalizeLedgerText(r.substr(0, cut));
    r.remove_prefix(cut);
    return true;
  };
  int64_t lineNr = 1;
  // Its warnings are the ledger's own, given when it was loaded.
  parseLedgerPieces(after, next, int64_t(ledgerText.size() + result.text.size()), lineNr);
  if (!after.errorText.empty())
    raiseValue("Import not proven, the ledger would not read: $1", {after.errorText});
  const Money change = balanceOf(after, rules.accountPos) - balanceOf(ledger, rules.accountPos);
  if (std::ssize(after.transactions) != std::ssize(ledger.transactions) + result.added ||
      change != sum) {
    raiseValue("Import not proven: $1 would change by $2, the new rows add up to $3",
               {ledger.accounts[size_t(rules.accountPos)].name, moneyStr(change), moneyStr(sum)});
  }
}

}  // namespace

ImportResult importStatement(const Ledger& ledger, std::string_view ledgerText,
                             const ImportRules& rules, const Statement& statement) {
  const TextShape shape = shapeOf(ledgerText);
  const CounterAccounts counter(ledger, rules);
  Booked booked(ledger, rules.accountPos, rules.id.lineNr > 0);
  const Datum lastDate = ledger.transactions.back().date;
  Writer w{.ledger = ledger, .rules = rules, .shape = shape, .out = {}};
  w.out.reserve(statement.rows.size() * 96);
  if (!shape.endsWithLineEnd) w.out += '\n';
  ImportResult result;
  Balances balances(ledger, statement);
  Money sum = 0;
  for (const StatementRow& row : statement.rows) {
    const Choice choice = counter.choose(row.description);
    bool sameId = false;
    if (const int64_t sp = booked.take(row, sameId); sp >= 0) {
      ++result.duplicates;
      const int64_t line = shape.traLines[size_t(ledger.splits[size_t(sp)].traPos)];
      w.transaction(row, choice,
                    "a duplicate of line " + std::to_string(line) + " of the ledger" +
                        (sameId ? " (the same id)" : " (the same date and amount)"));
    } else if (row.date < lastDate) {
      ++result.older;
      w.transaction(row, choice,
                    "older than the ledger's last transaction (" +
                        formatDatum(lastDate, ledger.dateFormat) + ")");
    } else {
      ++result.added;
      if (__builtin_add_overflow(sum, row.amount, &sum))
        raiseInFile(statement.fileName, statement.text, row.lineNr,
                    "Sum of the statement's amounts too big");
      balances.add(row, rules.accountPos, row.amount);
      balances.add(row, choice.accountPos, -row.amount);
      w.transaction(row, choice, "");
    }
  }
  result.text = std::move(w.out);
  if (result.text == "\n") result.text.clear();
  prove(ledger, ledgerText, rules, result, sum);
  return result;
}

std::string importSummary(const Statement& statement, const ImportResult& result) {
  const auto count = [](int64_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
  };
  return statement.fileName + ": " + count(result.added, "new transaction", "new transactions") +
         "; left out: " + count(result.duplicates, "duplicate", "duplicates") + ", " +
         std::to_string(result.older) + " older than the ledger's end";
}

}  // namespace murex
