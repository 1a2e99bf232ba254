// ledger: the read-only records a parse builds (transactions, splits, their comments, the
// split indexes) and the accessors that read them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "account.h"
#include "amount.h"
#include "datum.h"
#include "inventory.h"

namespace murex {

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

// Where a message of the parse stands in the file: line and column from 1, the column
// counted in characters as the file has them (a ";;" is two).
struct TextPlace {
  int64_t lineNr = 0;
  int64_t column = 0;
};

// A warning the parse met (a product that dropped cents), at the word that raised it.
struct LedgerWarning {
  TextPlace place;
  std::string message;
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
  // The first error alone, for a line such as "ledger:12:3: error: ..."; its place stays
  // 0:0 for an error of the whole file ("No transactions/splits found in file.").
  std::string errorMessage;
  TextPlace errorPlace;
  std::vector<LedgerWarning> warnings;  // in file order, those before an error too
  std::string texts;                  // the descriptions and comments, end to end
  std::vector<SplitComment> comments;  // of the splits that have one, by splitPos
  bool moneyWhole = true;  // no split amount has cents
  bool itemsWhole = true;  // no slot's item count has a fractional part
  // Read-only indexes built by the parse: each account's and kind's splits, in order.
  std::vector<std::vector<int64_t>> accountSplits;
  std::vector<std::vector<int64_t>> kindSplits;
  // For each split of kindSplits, the position of its first slot record.
  std::vector<std::vector<int64_t>> kindSplitFirstSlot;
  // The splits whose amount is written "close" (not "close@"), in order: the bookings that
  // close an account, which the month-by-month change keeps apart.
  std::vector<int64_t> closingSplits;
};

std::string_view transactionDescription(const Ledger& ledger, const Transaction& t);
// The split's comment, "" when it has none.
std::string_view splitComment(const Ledger& ledger, int64_t splitPos);

// The slot records of a split: [first, second) in ledger.slots.
std::pair<int64_t, int64_t> splitSlots(const Ledger& ledger, int64_t splitPos);
// The same for the i-th split of a kind (ledger.kindSplits[kindPos][i]), without a search.
std::pair<int64_t, int64_t> kindSplitSlots(const Ledger& ledger, int64_t kindPos, size_t i);
// The slot records' item sum and first unit price of a split.
Items splitItems(const Ledger& ledger, int64_t splitPos);
Money splitUnitPrice(const Ledger& ledger, int64_t splitPos);

// Fills accountSplits, kindSplits and kindSplitFirstSlot in one walk over the splits, each
// list sized once from the counts of each account's and kind's splits.
void indexSplits(Ledger& ledger, const std::vector<int64_t>& accountCounts,
                 const std::vector<int64_t>& kindCounts);

// True after a good parse that found transactions: every report and query requires it.
bool canReport(const Ledger& ledger);

}  // namespace murex
