// parser: the ledger file's tokenizer, the parse that builds and validates a Ledger, and the
// read-only queries that reports ask of a parsed ledger.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "account.h"
#include "amount.h"
#include "datum.h"
#include "inventory.h"

namespace murex {

// ---- Tokenizer

enum class TokenType : uint8_t {
  Unset, NewLine, CommentStart, Comment, Str, Indent, End,
  Datum, Description, Account, Amount, Tag,
};
std::string_view tokenTypeName(TokenType type);  // "Unset" outside the table

struct Token {
  TokenType tokType = TokenType::Unset;
  int64_t len = 0;     // characters covered, leading blanks included
  int64_t spaces = 0;  // blanks (space or tab) at the start
  int64_t pos = 0;     // where the leading blanks begin
};

// Raw scanner: NewLine, CommentStart, Str or End from start (<= text size).
Token nextToken(std::string_view text, int64_t start);
// The token's text, form feeds shown as ";;"; withSpaces keeps the leading blanks.
std::string tokenText(std::string_view text, const Token& tok, bool withSpaces);
// The meaning of a Str token from the token before it; Str when it has none (a word after
// the amount). Counts column-0 words in datumCount.
TokenType classify(std::string_view text, const Token& tok, TokenType prevType,
                   int64_t& datumCount);

// ---- The ledger

// The records are kept small: a ledger of millions of lines holds millions of them. Texts
// live end to end in Ledger::texts; what few splits need is looked up by position.
struct Transaction {
  Datum date = 0;
  int64_t descriptionPos = 0;  // in Ledger::texts; see transactionDescription
  int64_t descriptionLen = 0;
};

// A split's slot records are those with its splitPos (the slot list is in split order), its
// comment the entry of Ledger::comments with its splitPos, its line known only to the parse.
struct Split {
  int64_t traPos = -1;
  int64_t accountPos = -1;
  Money money = moneyUnset;
  Money balance = 0;     // running balance of the account after this split
  int64_t kindPos = -1;  // -1: a plain money split
};

// The comment words of a split line with the blanks between them; tag words are not part of it.
struct SplitComment {
  int64_t splitPos = -1;
  int64_t pos = 0;  // in Ledger::texts
  int64_t len = 0;
};

struct Ledger {
  std::vector<Transaction> transactions;
  bool decimalComma = false;
  std::vector<Split> splits;
  Accounts accounts;
  Kinds kinds;
  Slots slots;
  std::string numberFormat = "###,###,###,###.##";
  std::string dateFormat = "y-m-d";
  std::string errorText;  // empty after a good parse
  std::string texts;                  // the descriptions and comments, end to end
  std::vector<SplitComment> comments;  // of the splits that have one, by splitPos
  bool moneyWhole = true;  // no split amount has cents
  bool itemsWhole = true;  // no slot's item count has a fractional part
  // Read-only indexes built by the parse: each account's and kind's splits, in order.
  std::vector<std::vector<int64_t>> accountSplits;
  std::vector<std::vector<int64_t>> kindSplits;
  // For each split of kindSplits, the position of its first slot record.
  std::vector<std::vector<int64_t>> kindSplitFirstSlot;
};

// Fills a fresh ledger from normalised text; a content error becomes errorText (the framed
// report "Error at line N: message" with context). lineNr ends as the last line counted.
void parseLedger(Ledger& ledger, std::string_view text, int64_t& lineNr);
// The same parse over a text that arrives in pieces, so that a large file is never held
// whole: next(piece) puts the next piece into piece (a buffer to reuse) and answers false
// at the end. Every piece but the last ends with a line feed. Only the pieces that an error
// report could quote are kept. sizeHint, the expected text size, sizes the lists once.
void parseLedgerPieces(Ledger& ledger, const std::function<bool(std::string&)>& next,
                       int64_t sizeHint, int64_t& lineNr);

std::string_view transactionDescription(const Ledger& ledger, const Transaction& t);
// The split's comment, "" when it has none.
std::string_view splitComment(const Ledger& ledger, int64_t splitPos);

// The slot records of a split: [first, second) in ledger.slots.
std::pair<int64_t, int64_t> splitSlots(const Ledger& ledger, int64_t splitPos);
// The same for the i-th split of a kind (ledger.kindSplits[kindPos][i]), without a search.
std::pair<int64_t, int64_t> kindSplitSlots(const Ledger& ledger, int64_t kindPos, size_t i);
// The slot records' item sum and first unit price of a split (itemsOfSplit and
// unitPriceOfSplit).
Items splitItems(const Ledger& ledger, int64_t splitPos);
Money splitUnitPrice(const Ledger& ledger, int64_t splitPos);

// ---- Queries (all but the last three require canReport)

bool canReport(const Ledger& ledger);
// Where in a split index (accountSplits, kindSplits) the splits not before d begin: the
// opening transaction counts as before every date.
size_t firstNotBefore(const Ledger& ledger, const std::vector<int64_t>& index, Datum d);
// -1 before ds or in the opening transaction, 1 after de, 0 inside.
int splitInPeriod(const Ledger& ledger, Datum ds, Datum de, int64_t splitPos);

struct Sums {
  Money debit = 0;
  Money credit = 0;   // as a positive figure
  Money balance = 0;  // at the end of the period
};
Sums accountSums(const Ledger& ledger, int64_t accountPos, Datum ds, Datum de);
Sums subtreeSums(const Ledger& ledger, int64_t accountPos, Datum ds, Datum de);
Money accountBalanceAt(const Ledger& ledger, int64_t accountPos, Datum d);  // before d
bool isLedgerClosed(const Ledger& ledger);  // every I and E account sums to zero

struct KindSums {
  Items itemsIn = 0;
  Items itemsOut = 0;  // as a positive figure
  Items items = 0;     // held at the end of the period
  Money money = 0;     // their book value
};
KindSums kindSums(const Ledger& ledger, int64_t kindPos, Datum ds, Datum de);
Holding kindTotalAt(const Ledger& ledger, int64_t kindPos, Datum d);  // before d
// The holding of the split's kind after it, given the holding before it (its own slots added).
Holding holdingAfter(const Ledger& ledger, int64_t splitPos, Holding before);
// The same for the i-th split of a kind, and that split's item change.
Holding kindHoldingAfter(const Ledger& ledger, int64_t kindPos, size_t i, Holding before);
Items kindSplitItems(const Ledger& ledger, int64_t kindPos, size_t i);

std::string transactionText(const Ledger& ledger, int64_t splitPos);
std::string newOpeningText(const Ledger& ledger);

// An amount (or item count) as ledger text: 1_234.56, 1_200, 1.00, -5.
std::string ledgerAmountText(const Ledger& ledger, Money m);
// Plain words are alternatives, "+" words required, "-" words excluded.
bool filterMatch(std::string_view text, const std::vector<std::string>& words);
// Ledger text as HTML with one span per run of tokens of the same class; the token texts
// are escaped ("<", ">").
std::string highlightLedger(std::string_view text);

}  // namespace murex
