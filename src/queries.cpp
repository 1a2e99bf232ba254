// Every account and kind query walks that account's or kind's own split index, never the
// whole split list.
#include "queries.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <string_view>
#include <vector>

#include "unicode.h"

namespace murex {

namespace {

[[maybe_unused]] bool inRange(int64_t pos, size_t size) {
  return pos >= 0 && pos < static_cast<int64_t>(size);
}

}  // namespace

size_t firstNotBefore(const Ledger& ledger, const std::vector<int64_t>& index, Datum d) {
  const auto it = std::partition_point(index.begin(), index.end(), [&](int64_t sp) {
    const Split& s = ledger.splits[sp];
    return s.traPos == 0 || ledger.transactions[s.traPos].date < d;
  });
  return static_cast<size_t>(it - index.begin());
}

int splitInPeriod(const Ledger& ledger, Datum ds, Datum de, int64_t splitPos) {
  assert(inRange(splitPos, ledger.splits.size()));
  const Split& s = ledger.splits[splitPos];
  const Datum d = ledger.transactions[s.traPos].date;
  if (s.traPos == 0 || d < ds) return -1;
  return d > de ? 1 : 0;
}

Sums accountSums(const Ledger& ledger, int64_t accountPos, Datum ds, Datum de) {
  assert(canReport(ledger) && inRange(accountPos, ledger.accountSplits.size()));
  const std::vector<int64_t>& index = ledger.accountSplits[accountPos];
  // The splits before the period only carry the balance: jump over them.
  const size_t first = firstNotBefore(ledger, index, ds);
  Sums sums;
  if (first > 0) sums.balance = ledger.splits[index[first - 1]].balance;
  for (size_t i = first; i < index.size(); ++i) {
    const int64_t sp = index[i];
    if (splitInPeriod(ledger, ds, de, sp) == 1) break;
    const Split& s = ledger.splits[sp];
    sums.balance = s.balance;
    if (s.money >= 0) {
      sums.debit = moneyAdd(sums.debit, s.money);
    } else {
      sums.credit = moneySub(sums.credit, s.money);
    }
  }
  return sums;
}

Sums subtreeSums(const Ledger& ledger, int64_t accountPos, Datum ds, Datum de) {
  assert(canReport(ledger) && inRange(accountPos, ledger.accounts.size()));
  Sums total;
  const int64_t indent = ledger.accounts[accountPos].indent;
  const int64_t n = std::ssize(ledger.accounts);
  for (int64_t j = accountPos; j < n; ++j) {
    // A following account belongs to the sub-tree while it is indented deeper.
    if (j > accountPos && ledger.accounts[j].indent <= indent) break;
    const Sums s = accountSums(ledger, j, ds, de);
    total.debit = moneyAdd(total.debit, s.debit);
    total.credit = moneyAdd(total.credit, s.credit);
    total.balance = moneyAdd(total.balance, s.balance);
  }
  return total;
}

std::vector<Sums> everySubtreeSums(const Ledger& ledger, Datum ds, Datum de) {
  assert(canReport(ledger));
  const int64_t n = std::ssize(ledger.accounts);
  std::vector<Sums> sums(ledger.accounts.size());
  for (int64_t a = 0; a < n; ++a) sums[a] = accountSums(ledger, a, ds, de);
  // Sub-accounts follow their parent: from the last account up, each one's sums are complete
  // when they are added to its parent's.
  for (int64_t a = n - 1; a >= 0; --a) {
    const int64_t p = ledger.accounts[a].parentPos;
    if (p < 0) continue;
    sums[p].debit = moneyAdd(sums[p].debit, sums[a].debit);
    sums[p].credit = moneyAdd(sums[p].credit, sums[a].credit);
    sums[p].balance = moneyAdd(sums[p].balance, sums[a].balance);
  }
  return sums;
}

Profit profitOf(const Ledger& ledger, const std::function<Sums(int64_t)>& treeSums) {
  const Found income = findAccountByType(ledger.accounts, 'I');
  const Found expense = findAccountByType(ledger.accounts, 'E');
  if (!income.ok || !expense.ok) return {};
  Profit p{.income = treeSums(income.pos).credit, .expenses = treeSums(expense.pos).debit};
  p.profit = moneySub(p.income, p.expenses);
  return p;
}

Money accountBalanceAt(const Ledger& ledger, int64_t accountPos, Datum d) {
  assert(canReport(ledger) && inRange(accountPos, ledger.accountSplits.size()));
  const std::vector<int64_t>& index = ledger.accountSplits[accountPos];
  const size_t k = firstNotBefore(ledger, index, d);
  return k == 0 ? 0 : ledger.splits[index[k - 1]].balance;
}

bool isLedgerClosed(const Ledger& ledger) {
  assert(canReport(ledger));
  for (int64_t a = 0; a < std::ssize(ledger.accounts); ++a) {
    const char type = accountType(ledger.accounts, a).effective;
    if (type != 'I' && type != 'E') continue;
    // The running balance of the last split is the sum of all of them.
    const std::vector<int64_t>& index = ledger.accountSplits[a];
    if (!index.empty() && ledger.splits[index.back()].balance != 0) return false;
  }
  return true;
}

namespace {

Holding addSlots(const Ledger& ledger, std::pair<int64_t, int64_t> range, Holding before) {
  for (int64_t i = range.first; i < range.second; ++i) {
    const Slot& slot = ledger.slots[i];
    before.items = moneyAdd(before.items, slot.numItems);
    before.money = moneyAdd(before.money, moneyMulSilent(slot.numItems, slot.unitPrice));
  }
  return before;
}

}  // namespace

Holding holdingAfter(const Ledger& ledger, int64_t splitPos, Holding before) {
  assert(inRange(splitPos, ledger.splits.size()));
  return addSlots(ledger, splitSlots(ledger, splitPos), before);
}

Holding kindHoldingAfter(const Ledger& ledger, int64_t kindPos, size_t i, Holding before) {
  return addSlots(ledger, kindSplitSlots(ledger, kindPos, i), before);
}

Items kindSplitItems(const Ledger& ledger, int64_t kindPos, size_t i) {
  const auto [begin, end] = kindSplitSlots(ledger, kindPos, i);
  Items sum = 0;
  for (int64_t k = begin; k < end; ++k) sum += ledger.slots[k].numItems;
  return sum;
}

KindSums kindSums(const Ledger& ledger, int64_t kindPos, Datum ds, Datum de) {
  assert(canReport(ledger) && inRange(kindPos, ledger.kindSplits.size()));
  KindSums sums;
  const std::vector<int64_t>& index = ledger.kindSplits[kindPos];
  for (size_t i = 0; i < index.size(); ++i) {
    const int where = splitInPeriod(ledger, ds, de, index[i]);
    if (where == 1) break;
    const Items items = kindSplitItems(ledger, kindPos, i);
    const int64_t sp = index[i];
    sums.items = moneyAdd(sums.items, items);
    sums.money = moneyAdd(sums.money, ledger.splits[sp].money);
    if (where != 0) continue;
    if (items > 0) {
      sums.itemsIn = moneyAdd(sums.itemsIn, items);
    } else {
      sums.itemsOut = moneySub(sums.itemsOut, items);
    }
  }
  return sums;
}

Holding kindTotalAt(const Ledger& ledger, int64_t kindPos, Datum d) {
  assert(canReport(ledger) && inRange(kindPos, ledger.kindSplits.size()));
  const std::vector<int64_t>& index = ledger.kindSplits[kindPos];
  const size_t k = firstNotBefore(ledger, index, d);
  Holding h;
  for (size_t i = 0; i < k; ++i) h = kindHoldingAfter(ledger, kindPos, i, h);
  return h;
}

std::vector<std::string> filterWords(std::string_view filter) {
  return splitUnicodeSpace(lowerUnicode(filter));
}

bool splitPassesFilter(const Ledger& ledger, int64_t splitPos,
                       const std::vector<std::string>& words, std::string& text) {
  text = transactionDescription(ledger, ledger.transactions[ledger.splits[splitPos].traPos]);
  text += ": ";
  text += splitComment(ledger, splitPos);
  return filterMatch(lowerUnicode(text), words);
}

bool filterMatch(std::string_view text, const std::vector<std::string>& words) {
  if (words.empty() || text.empty()) return false;
  bool result = false;
  for (const std::string& word : words) {
    const char sign = word.empty() ? ' ' : word[0];
    const size_t skip = word.find_first_not_of("+-");
    const std::string_view term =
        skip == std::string::npos ? std::string_view() : std::string_view(word).substr(skip);
    const size_t at = text.find(term);
    bool found = false;
    if (at != std::string_view::npos) {
      if (at == 0) {
        found = true;
      } else {
        const unsigned char c = static_cast<unsigned char>(text[at - 1]);
        found = (c >= '\t' && c <= '\r') || c == ' ' || (c >= '!' && c <= '/') ||
                (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
      }
    }
    if (sign == '+' && !found) return false;
    if (sign == '-' && found) return false;
    if (found || sign == '-') result = true;
  }
  return result;
}

}  // namespace murex
