#include "ledger.h"

#include <algorithm>
#include <cassert>
#include <string_view>
#include <utility>
#include <vector>

#include "pages.h"

namespace murex {

bool canReport(const Ledger& ledger) {
  return ledger.errorText.empty() && !ledger.transactions.empty();
}

std::string_view transactionDescription(const Ledger& ledger, const Transaction& t) {
  assert(t.descriptionPos >= 0 && t.descriptionPos + t.descriptionLen <= std::ssize(ledger.texts));
  return std::string_view(ledger.texts).substr(size_t(t.descriptionPos), size_t(t.descriptionLen));
}

std::string_view splitComment(const Ledger& ledger, int64_t splitPos) {
  const auto it = std::lower_bound(
      ledger.comments.begin(), ledger.comments.end(), splitPos,
      [](const SplitComment& c, int64_t pos) { return c.splitPos < pos; });
  if (it == ledger.comments.end() || it->splitPos != splitPos) return {};
  return std::string_view(ledger.texts).substr(size_t(it->pos), size_t(it->len));
}

std::pair<int64_t, int64_t> kindSplitSlots(const Ledger& ledger, int64_t kindPos, size_t i) {
  assert(kindPos >= 0 && kindPos < std::ssize(ledger.kindSplits));
  assert(i < ledger.kindSplits[kindPos].size());
  const int64_t splitPos = ledger.kindSplits[kindPos][i];
  const int64_t begin = ledger.kindSplitFirstSlot[kindPos][i];
  int64_t end = begin;
  while (end < std::ssize(ledger.slots) && ledger.slots[end].splitPos == splitPos) ++end;
  return {begin, end};
}

std::pair<int64_t, int64_t> splitSlots(const Ledger& ledger, int64_t splitPos) {
  assert(splitPos >= 0 && splitPos < std::ssize(ledger.splits));
  const int64_t kindPos = ledger.splits[splitPos].kindPos;
  if (kindPos < 0) return {0, 0};
  const std::vector<int64_t>& index = ledger.kindSplits[kindPos];
  const auto it = std::lower_bound(index.begin(), index.end(), splitPos);
  assert(it != index.end() && *it == splitPos);
  return kindSplitSlots(ledger, kindPos, size_t(it - index.begin()));
}

Items splitItems(const Ledger& ledger, int64_t splitPos) {
  const auto [begin, end] = splitSlots(ledger, splitPos);
  Items sum = 0;
  for (int64_t i = begin; i < end; ++i) sum += ledger.slots[i].numItems;
  return sum;
}

Money splitUnitPrice(const Ledger& ledger, int64_t splitPos) {
  const auto [begin, end] = splitSlots(ledger, splitPos);
  assert(begin < end);
  return ledger.slots[begin].unitPrice;
}

void indexSplits(Ledger& ledger, const std::vector<int64_t>& accountCounts,
                 const std::vector<int64_t>& kindCounts) {
  ledger.accountSplits.assign(ledger.accounts.size(), {});
  ledger.kindSplits.assign(ledger.kinds.size(), {});
  ledger.kindSplitFirstSlot.assign(ledger.kinds.size(), {});
  for (size_t a = 0; a < ledger.accountSplits.size(); ++a) {
    std::vector<int64_t>& list = ledger.accountSplits[a];
    const auto count = size_t(accountCounts[a]);
    list.reserve(count);
    mapAhead(list, count);
    list.resize(count);
  }
  for (size_t k = 0; k < ledger.kindSplits.size(); ++k) {
    ledger.kindSplits[k].resize(size_t(kindCounts[k]));
    ledger.kindSplitFirstSlot[k].resize(size_t(kindCounts[k]));
  }
  std::vector<int64_t> at(ledger.accounts.size(), 0);
  std::vector<int64_t> kindAt(ledger.kinds.size(), 0);
  size_t slot = 0;  // the slot records are in split order
  for (int64_t i = 0; i < std::ssize(ledger.splits); ++i) {
    const Split& s = ledger.splits[i];
    ledger.accountSplits[s.accountPos][at[s.accountPos]++] = i;
    if (s.kindPos >= 0) {
      while (slot < ledger.slots.size() && ledger.slots[slot].splitPos < i) ++slot;
      ledger.kindSplits[s.kindPos][kindAt[s.kindPos]] = i;
      ledger.kindSplitFirstSlot[s.kindPos][kindAt[s.kindPos]++] = int64_t(slot);
    }
  }
}

}  // namespace murex
