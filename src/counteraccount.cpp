#include "counteraccount.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "unicode.h"

namespace murex {

std::string normalizedDescription(std::string_view description) {
  const std::string lower = lowerUnicode(description);
  std::string out;
  out.reserve(lower.size());
  bool blank = false;
  for (const char c : lower) {
    const uint8_t b = uint8_t(c);
    const bool dropped = (c >= '0' && c <= '9') || (b > ' ' && b < 0x80 && !std::isalnum(b));
    if (dropped) continue;
    if (b <= ' ' || b == 0x7f) {
      blank = !out.empty();
    } else {
      if (blank) out.push_back(' ');
      blank = false;
      out.push_back(c);
    }
  }
  return out;
}

CounterAccounts::CounterAccounts(const Ledger& ledger, const ImportRules& rules) : rules(rules) {
  const int64_t account = rules.accountPos;
  const int64_t splitCount = std::ssize(ledger.splits);
  for (const int64_t sp : ledger.accountSplits[size_t(account)]) {
    const int64_t traPos = ledger.splits[size_t(sp)].traPos;
    if (traPos == 0) continue;
    // Splits stand in transaction order: the transaction's are those around this one.
    int64_t begin = sp;
    int64_t end = sp + 1;
    while (begin > 0 && ledger.splits[size_t(begin - 1)].traPos == traPos) --begin;
    while (end < splitCount && ledger.splits[size_t(end)].traPos == traPos) ++end;
    if (end - begin != 2) continue;
    const int64_t other = begin == sp ? sp + 1 : begin;
    const Split& o = ledger.splits[size_t(other)];
    if (o.kindPos >= 0 || o.accountPos == account) continue;
    std::string key = normalizedDescription(
        transactionDescription(ledger, ledger.transactions[size_t(traPos)]));
    if (key.empty()) continue;  // nothing to tell one such row from another
    std::vector<Used>& used = learned[std::move(key)];
    Used* u = nullptr;
    for (Used& x : used)
      if (x.accountPos == o.accountPos) u = &x;
    if (u == nullptr) u = &used.emplace_back(Used{.accountPos = o.accountPos});
    ++u->count;
    u->latestTraPos = traPos;
  }
}

Choice CounterAccounts::choose(std::string_view description) const {
  const std::string folded = lowerUnicode(description);
  for (size_t k = 0; k < rules.match.size(); ++k) {
    bool all = true;
    for (const std::string& w : rules.match[k].folded)
      all = all && folded.find(w) != std::string::npos;
    if (all)
      return {.accountPos = rules.match[k].accountPos, .by = ChosenBy::Rule, .rule = int64_t(k)};
  }
  if (!learned.empty()) {
    if (const auto it = learned.find(normalizedDescription(description)); it != learned.end()) {
      const Used* best = nullptr;
      for (const Used& u : it->second) {
        if (best == nullptr || u.count > best->count ||
            (u.count == best->count && u.latestTraPos > best->latestTraPos))
          best = &u;
      }
      return {.accountPos = best->accountPos,
              .by = ChosenBy::Ledger,
              .traPos = best->latestTraPos};
    }
  }
  return {.accountPos = rules.unknownPos, .by = ChosenBy::Nothing};
}

}  // namespace murex
