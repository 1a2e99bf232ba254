// queries: the read-only questions that reports ask of a parsed ledger: period sums and
// balances of accounts and kinds, the profit or loss, holdings at a date, whether the ledger
// is closed, and the search filter. All but filterMatch require canReport.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger.h"

namespace murex {

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
// subtreeSums of every account, by accountPos, in one pass from the deepest accounts up.
std::vector<Sums> everySubtreeSums(const Ledger& ledger, Datum ds, Datum de);
// The profit or loss as every report counts it: what the income tree took in (its credits)
// less what the expense tree cost (its debits); all zero unless the ledger has both trees.
// treeSums gives a tree's Sums by the position of its account, over the days asked about.
struct Profit {
  Money income = 0;
  Money expenses = 0;
  Money profit = 0;
};
Profit profitOf(const Ledger& ledger, const std::function<Sums(int64_t)>& treeSums);
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

// Plain words are alternatives, "+" words required, "-" words excluded.
bool filterMatch(std::string_view text, const std::vector<std::string>& words);
// A typed filter as its words: lower-cased, split at white space.
std::vector<std::string> filterWords(std::string_view filter);
// Whether a split passes: its transaction's description, ": " and its comment, lower-cased,
// matched against the words. text is a buffer to reuse.
bool splitPassesFilter(const Ledger& ledger, int64_t splitPos,
                       const std::vector<std::string>& words, std::string& text);

}  // namespace murex
