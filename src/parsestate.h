// parsestate: the state of one parse that the files of the ledger's rules share, and the two
// writes they all make: a split entering the ledger (addSplit) and a split's comment
// (newComment). Only the parse's own files include it.
//   AccountRun   what "close" needs of an account: its running sum
//   SplitTarget  what a split line's account word names
//   Parse        the parse's lookups, running sums, counts, error place and token loop state
//   newComment, addSplit
#pragma once

#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ledger.h"
#include "nameindex.h"
#include "pages.h"
#include "token.h"

namespace murex {

// What "close" needs of an account: the sum of its amounts so far, added split by split in
// file order exactly as a walk over the earlier splits would add them. base is the sum before
// the open transaction, so the one split that finishTransaction fills can be put back in
// its place.
struct AccountRun {
  Money base = 0;
  Money run = 0;
  bool baseOverflow = false;
  bool runOverflow = false;
  int64_t traPos = -1;  // the transaction that last touched run
};

// What a split line's account word names.
struct SplitTarget {
  int64_t accountPos = -1;
  int64_t kindPos = -1;
};

// One parse, from the first piece of text to afterLoop.
struct Parse {
  Parse(Ledger& l, int64_t& n) : ledger(l), lineNr(n) {}
  Ledger& ledger;
  int64_t& lineNr;
  NameIndex accountByName;
  NameIndex kindByName;
  // After the opening transaction a split's account word always means the same: each word
  // met is looked up once, then found here whole.
  NameIndex knownWords;
  std::vector<SplitTarget> wordTargets;
  // Transactions of one day follow each other: their date word is read once.
  std::string lastDateWord;
  Datum lastDate = 0;
  std::vector<char> accountHasKinds;
  std::vector<AccountRun> accountRuns;
  KindRuns kindRuns;
  std::vector<int64_t> accountSplitCounts;  // for the indexes built after the parse
  std::vector<int64_t> kindSplitCounts;
  int64_t traPos = -1;         // the open transaction
  int64_t traFirstSplit = 0;  // its first split
  Money cents = 0;            // any non-zero: some amount has cents
  int64_t lastSplitLine = 0;  // the line of the ledger's last split, 0 before the first
  int64_t lastSplitColumn = 1;  // and the column of its account word
  // Where an error stands: the word being taken (its position in the piece being read, -1
  // after the last piece), or errorColumn where a check names another line.
  int64_t wordPos = -1;
  int64_t errorColumn = 0;
  Warnings warnings;  // of the word being taken, until they are given their place
  // The token loop's state from one piece of text to the next.
  TokenType prevType = TokenType::NewLine;
  int64_t datumCount = 0;
  bool openingOnly = false;  // ParseScope::Opening: stop at the second transaction line
  bool stopped = false;
  bool onSplitLine = false;
  WordMasks masks;
  std::string buf;
  std::string bufSpaces;
};

// A comment of split splitPos, its text written at the end of texts.
inline void newComment(Ledger& ledger, int64_t splitPos, std::string_view text) {
  assert(ledger.comments.empty() || ledger.comments.back().splitPos < splitPos);
  mapAheadEvery(ledger.comments);
  ledger.comments.push_back(
      {.splitPos = splitPos, .pos = std::ssize(ledger.texts), .len = std::ssize(text)});
  appendMapped(ledger.texts, text);
}

// Every split enters the ledger here, counted for the indexes that afterLoop builds: a
// counting pass over the splits at the end cost a tenth of the parse.
// The split is written in place, its amount still unset.
inline Split& addSplit(Parse& p, SplitTarget target) {
  ++p.accountSplitCounts[target.accountPos];
  if (target.kindPos >= 0) ++p.kindSplitCounts[target.kindPos];
  mapAheadEvery(p.ledger.splits);
  Split& split = p.ledger.splits.emplace_back();
  split.traPos = p.traPos;
  split.accountPos = target.accountPos;
  split.kindPos = target.kindPos;
  p.lastSplitLine = p.lineNr;
  return split;
}

}  // namespace murex
