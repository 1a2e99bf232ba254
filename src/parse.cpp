#include "parse.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "error.h"
#include "errorframe.h"
#include "parsestate.h"
#include "splitamount.h"

namespace murex {

namespace {

// Room for the lists, taken once from a sample of the text (its start, or all of it) scaled
// to the text's size: growing a list copies it, and room never touched costs no memory. The
// counts are of the lines that can hold what the lists keep, so that a text of blank or
// comment lines does not ask for room it will never use.
void reserveLists(Ledger& ledger, std::string_view sample, int64_t textSize) {
  int64_t dated = 0;
  int64_t indented = 0;
  int64_t semicolons = 0;
  for (size_t at = 0; at < sample.size();) {
    const char c = sample[at];
    dated += c >= '0' && c <= '9';
    indented += isBlank(c);
    const size_t nl = sample.find('\n', at);
    const size_t end = nl == std::string_view::npos ? sample.size() : nl;
    semicolons += std::count(sample.begin() + int64_t(at), sample.begin() + int64_t(end), ';');
    at = end + 1;
  }
  const double scale = sample.empty() ? 0.0 : 1.25 * double(textSize) / double(sample.size());
  const auto scaled = [scale](int64_t n) { return size_t(double(n) * scale) + 16; };
  ledger.transactions.reserve(scaled(dated));
  ledger.splits.reserve(scaled(indented));
  ledger.comments.reserve(scaled(semicolons));
  ledger.texts.reserve(size_t(textSize / 4 + 64));
}

// The word as the user reads it in a message or a stored text: the text in place unless it
// holds a form feed.
std::string_view shownWithFormFeeds(std::string_view raw, std::string& buf) {
  if (std::memchr(raw.data(), formFeed, raw.size()) == nullptr) return raw;
  buf = showFormFeeds(raw);
  return buf;
}

// Kept apart from the rare case above so that it is inlined: it runs for every word.
std::string_view shown(std::string_view raw, std::string& buf, bool textHasFormFeed) {
  return textHasFormFeed ? shownWithFormFeeds(raw, buf) : raw;
}

// Extends the text of length len at the end of texts: its first word alone, every later one
// with the blanks that stood before it.
void appendWord(std::string& texts, int64_t& len, std::string_view word,
                std::string_view withSpaces) {
  const std::string_view part = len == 0 ? word : withSpaces;
  appendMapped(texts, part);
  len += std::ssize(part);
}

// The last split's comment to append to, made when its first word comes. It is always the
// last text written.
SplitComment& lastSplitComment(Ledger& ledger) {
  const int64_t splitPos = std::ssize(ledger.splits) - 1;
  if (ledger.comments.empty() || ledger.comments.back().splitPos != splitPos)
    newComment(ledger, splitPos, "");
  SplitComment& c = ledger.comments.back();
  assert(c.pos + c.len == std::ssize(ledger.texts));
  return c;
}

void procDatum(Parse& p, std::string_view word) {
  Ledger& ledger = p.ledger;
  if (word.empty() || word[0] < '0' || word[0] > '9') raiseValue("Unexpected string: $1", {word});
  finishTransaction(p);
  Datum date = p.lastDate;
  if (ledger.transactions.empty() || word != p.lastDateWord) {
    const DateRead d = parseDate(word, ledger.dateFormat, 0);
    if (d.consumed < std::ssize(word)) raiseValue("Date wrong: $1", {word});
    if (!ledger.transactions.empty() && d.date < ledger.transactions.back().date)
      raiseValue("Date earlier than in the previous transaction");
    date = d.date;
    p.lastDateWord = word;
    p.lastDate = date;
  }
  mapAheadEvery(ledger.transactions);
  ledger.transactions.push_back(
      {.date = date, .descriptionPos = std::ssize(ledger.texts), .descriptionLen = 0});
  p.traPos = std::ssize(ledger.transactions) - 1;
  p.traFirstSplit = std::ssize(ledger.splits);
}

SplitTarget toSplit(Parse& p, const Token& tok, std::string_view raw, std::string_view word,
                    size_t rawHash) {
  Ledger& ledger = p.ledger;
  const bool opening = ledger.transactions.size() < 2;
  if (!opening) {
    if (const int64_t* known = p.knownWords.find(raw, rawHash); known != nullptr)
      return p.wordTargets[size_t(*known)];
  }
  const AccountWord aw = splitAccountWord(raw);
  if (!aw.ok) raiseValue("Account name wrong: $1", {word});
  if (ledger.transactions.empty()) raiseValue("Open a transaction line first");
  int64_t accountPos = -1;
  int64_t kindPos = -1;
  const int64_t* account = p.accountByName.find(aw.account);
  const int64_t* kind = aw.kind.empty() ? nullptr : p.kindByName.find(aw.kind);
  if (ledger.transactions.size() == 1) {
    if (aw.kind.empty()) {
      if (account != nullptr) raiseValue("Account is a duplicate: $1", {word});
      accountPos = std::ssize(ledger.accounts);
      ledger.accounts.push_back({.name = std::string(aw.account),
                                 .description = {},
                                 .indent = tok.spaces,
                                 .typeChar = '-'});
      p.accountByName.insert(aw.account, accountPos);
      p.accountHasKinds.push_back(0);
      p.accountRuns.emplace_back();
      p.accountSplitCounts.push_back(0);
    } else {
      if (account == nullptr) raiseValue("Account not declared: $1", {word});
      accountPos = *account;
      if (kind == nullptr) {
        kindPos = std::ssize(ledger.kinds);
        ledger.kinds.push_back(
            {.accountPos = accountPos, .name = std::string(aw.kind), .description = {}});
        p.kindByName.insert(aw.kind, kindPos);
        p.kindRuns.emplace_back();
        p.kindSplitCounts.push_back(0);
        p.accountHasKinds[accountPos] = 1;
      } else if (ledger.kinds[*kind].accountPos == accountPos) {
        kindPos = *kind;  // one more opening holding of the kind
      } else {
        raiseValue("Kind is a duplicate: $1", {word});
      }
    }
  } else {
    if (account == nullptr)
      raiseValue("Account not present in the opening transaction: $1", {word});
    accountPos = *account;
    if (!aw.kind.empty()) {
      if (kind == nullptr || ledger.kinds[*kind].accountPos != accountPos)
        raiseValue("Kind not declared in the opening transaction: $1", {word});
      kindPos = *kind;
    } else if (p.accountHasKinds[accountPos]) {
      raiseValue("Inventory account needs a kind (accountName:kindName): $1", {word});
    }
    p.knownWords.insert(raw, std::ssize(p.wordTargets));
    p.wordTargets.push_back({.accountPos = accountPos, .kindPos = kindPos});
  }
  return {.accountPos = accountPos, .kindPos = kindPos};
}

void procTag(Parse& p, std::string_view word, bool onSplitLine) {
  Ledger& ledger = p.ledger;
  if (word.size() != 2) raiseValue("Tag unknown: '$1'", {word});
  const char letter = word[1];
  if (accountTypeName(letter).empty())
    raiseValue("Wrong account-type tag: @$1", {std::string_view(&letter, 1)});
  if (!onSplitLine || ledger.transactions.size() >= 2)
    raiseValue("Account-type tag valid only in the split lines of the opening transaction: $1",
               {word});
  assert(!ledger.accounts.empty());
  ledger.accounts.back().typeChar = letter;
}

void afterLoop(Parse& p) {
  Ledger& ledger = p.ledger;
  finishTransaction(p);
  for (const SplitComment& c : ledger.comments) {
    const Split& s = ledger.splits[c.splitPos];
    if (s.traPos != 0) break;
    const std::string_view comment = splitComment(ledger, c.splitPos);
    if (comment.empty()) continue;
    if (s.kindPos < 0) {
      ledger.accounts[s.accountPos].description = comment;
    } else {
      setKindDescription(ledger.kinds, s.kindPos, comment);
    }
  }
  ledger.itemsWhole = std::none_of(ledger.slots.begin(), ledger.slots.end(),
                                   [](const Slot& s) { return s.numItems % 100 != 0; });

  // The running sums are the balances, unless one of them overflowed: then they are added
  // again, to fail where the first one does.
  if (std::any_of(p.accountRuns.begin(), p.accountRuns.end(),
                  [](const AccountRun& r) { return r.runOverflow; })) {
    std::vector<Money> balances(ledger.accounts.size(), 0);
    for (Split& s : ledger.splits) {
      balances[s.accountPos] = moneyAdd(balances[s.accountPos], s.money);
      s.balance = balances[s.accountPos];
    }
  }
  linkAccounts(ledger.accounts);
  indexSplits(ledger, p.accountSplitCounts, p.kindSplitCounts);
  ledger.moneyWhole = p.cents == 0;
  if (ledger.transactions.empty() || ledger.splits.empty()) {
    ledger.errorText = "No transactions/splits found in file.";
    ledger.errorMessage = ledger.errorText;
  }
}

// The column, from 1 in characters, of position pos of a text that begins at a line start.
int64_t columnOf(std::string_view text, int64_t pos) {
  int64_t start = pos;
  while (start > 0 && text[start - 1] != '\n') --start;
  int64_t column = 1;
  for (int64_t i = start; i < pos; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    column += (c & 0xC0) != 0x80;
    column += c == formFeed;  // a ";;" of the file
  }
  return column;
}

void placeWarnings(Parse& p, int64_t column) {
  for (std::string& message : p.warnings)
    p.ledger.warnings.push_back({.place = {.lineNr = p.lineNr, .column = column},
                                 .message = std::move(message)});
  p.warnings.clear();
}

// What one classified token does to the parse; before is the type of the token before it.
inline void takeToken(Parse& p, std::string_view text, const Token& tok, TokenType type,
                      TokenType before, bool hasFormFeed) {
  Ledger& ledger = p.ledger;
  if (type == TokenType::NewLine) {
    ++p.lineNr;
    p.onSplitLine = false;
    return;
  }
  if (type == TokenType::CommentStart) return;
  p.wordPos = tok.pos + tok.spaces;
  const std::string_view raw(text.data() + tok.pos + tok.spaces, size_t(tok.len - tok.spaces));
  const std::string_view word = shown(raw, p.buf, hasFormFeed);
  // The token with its leading blanks: how a word after the first is added to a text.
  const auto withBlanks = [&] {
    return shown(std::string_view(text.data() + tok.pos, size_t(tok.len)), p.bufSpaces,
                 hasFormFeed);
  };
  switch (type) {
    case TokenType::Datum:
      procDatum(p, word);
      break;
    case TokenType::Description:
      appendWord(ledger.texts, ledger.transactions.back().descriptionLen, word, withBlanks());
      break;
    case TokenType::Account:
      p.lastSplitColumn = tok.spaces + 1;
      addSplit(p, toSplit(p, tok, raw, word, NameIndex::hash(raw)));
      p.onSplitLine = true;
      break;
    case TokenType::Amount:
      procMoney(p, word);
      if (!p.warnings.empty()) placeWarnings(p, columnOf(text, p.wordPos));
      break;
    case TokenType::Comment:
      if (p.onSplitLine)
        appendWord(ledger.texts, lastSplitComment(ledger).len, word, withBlanks());
      break;
    case TokenType::Tag:
      procTag(p, word, p.onSplitLine);
      break;
    default:
      raiseValue("Unexpedted token type: $1", {tokenTypeName(before)});
  }
}

// The token loop over one piece of the text. A piece that is not the last ends with a line
// feed, so no token spans two pieces and the state between them is the parse's.
void parsePiece(Parse& p, std::string_view text) {
  const bool hasFormFeed = p.masks.build(text);
  int64_t pos = 0;
  TokenType prevType = p.prevType;
  while (true) {
    Token tok = scanToken(text, pos, p.masks);
    pos += tok.len;
    TokenType type = tok.tokType;
    if (type == TokenType::Str) {
      type = classify(text, tok, prevType, p.datumCount);
      // The words after a description word, and after a comment word where no tag can be,
      // mean the same up to the next semicolon or line end (classify): they are taken as one
      // run, the blanks between them kept, as they would be added word by word.
      if (type == TokenType::Description ||
          (type == TokenType::Comment && !tagsAllowed(p.datumCount))) {
        pos = p.masks.run(text, pos);
        tok.len = pos - tok.pos;
      }
    }
    if (type == TokenType::End) break;
    if (type == TokenType::Datum && p.datumCount == 2 && p.openingOnly) {
      p.stopped = true;
      break;
    }
    const TokenType before = prevType;
    prevType = type;
    takeToken(p, text, tok, type, before, hasFormFeed);
  }
  p.prevType = prevType;  // for the next piece; after an error nothing reads it
}

bool isContentError(const Error& e) {
  return e.kind == ErrorKind::Value || e.kind == ErrorKind::Overflow;
}

}  // namespace

void parseLedger(Ledger& ledger, std::string_view text, int64_t& lineNr) {
  bool given = false;
  parseLedgerPieces(
      ledger,
      [&](std::string& piece) {
        if (given) return false;
        piece.assign(text);
        given = true;
        return true;
      },
      std::ssize(text), lineNr);
}

void parseLedgerPieces(Ledger& ledger, const std::function<bool(std::string&)>& next,
                       int64_t sizeHint, int64_t& lineNr, ParseScope scope) {
  QuotedPieces pieces;
  // The next piece into pieces, beginning with line firstLine; false after the last.
  const auto take = [&](int64_t firstLine) {
    if (next(pieces.add(firstLine))) return true;
    pieces.dropLast();
    return false;
  };
  Parse p(ledger, lineNr);
  p.openingOnly = scope == ParseScope::Opening;
  lineNr = 1;
  try {
    bool first = true;
    while (!p.stopped && take(lineNr)) {
      const std::string& text = pieces.last();
      if (first) {
        if (!p.openingOnly)
          reserveLists(ledger, text, std::max<int64_t>(sizeHint, std::ssize(text)));
        first = false;
      }
      parsePiece(p, text);
      // An error quotes the lines around the current line, or around the last split line
      // (the transaction that finishTransaction checks).
      pieces.keepQuotable(lineNr, p.lastSplitLine);
    }
    p.wordPos = -1;
    afterLoop(p);
  } catch (const Error& e) {
    if (!isContentError(e)) throw;
    const int64_t column = p.errorColumn > 0 ? p.errorColumn
                           : p.wordPos >= 0  ? columnOf(pieces.last(), p.wordPos)
                                             : 1;
    placeWarnings(p, column);  // those of the failing word itself
    ledger.errorPlace = {.lineNr = lineNr, .column = column};
    ledger.errorMessage = quotedMessage(e.message);
    // Read on to the two lines after the failing one that the report shows.
    while (pieces.endLine() <= lineNr + 2 && take(pieces.endLine())) {
    }
    ledger.errorText = pieces.frame(lineNr, e.message);
  }
}

Datum lastTransactionDate(std::string_view text, std::string_view dateFormat) {
  size_t end = text.size();
  while (end > 0) {
    const size_t nl = end > 1 ? text.rfind('\n', end - 2) : std::string_view::npos;
    const size_t start = nl == std::string_view::npos ? 0 : nl + 1;
    // A line's first word is a transaction's date word when no blank stands before it
    // (classify); blank and comment lines have none.
    int64_t datumCount = 0;
    const Token tok = nextToken(text, int64_t(start));
    if (tok.tokType == TokenType::Str &&
        classify(text, tok, TokenType::NewLine, datumCount) == TokenType::Datum) {
      const std::string_view word = text.substr(start, size_t(tok.len));
      Datum date = 0;
      if (word[0] < '0' || word[0] > '9' || !readDateWord(word, dateFormat, date)) return 0;
      return date;
    }
    end = start;
  }
  return 0;
}

}  // namespace murex
