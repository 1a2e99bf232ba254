// Fuzz target for the ledger parse: arbitrary bytes, normalised as the loader does, parsed
// with both decimal separators. parseLedger must not raise; a good parse must keep the
// ledger's promises (balanced transactions, no unset amount, holdings never negative).
// fuzz-max-len: 4096
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "app.h"
#include "fuzz_support.h"
#include "parser.h"

using namespace murex;

namespace {

void checkGood(const Ledger& l) {
  check(!l.transactions.empty() && !l.splits.empty());
  __int128 sum = 0;
  for (size_t i = 0; i < l.splits.size(); ++i) {
    const Split& s = l.splits[i];
    check(s.money != moneyUnset);
    check(s.traPos >= 0 && s.traPos < std::ssize(l.transactions));
    check(s.accountPos >= 0 && s.accountPos < std::ssize(l.accounts));
    sum += s.money;
    if (i + 1 == l.splits.size() || l.splits[i + 1].traPos != s.traPos) {
      check(sum == 0);
      sum = 0;
    }
  }
  for (int64_t t = 1; t < std::ssize(l.transactions); ++t)
    check(l.transactions[t - 1].date <= l.transactions[t].date);
  for (size_t i = 1; i < l.slots.size(); ++i) check(l.slots[i - 1].splitPos <= l.slots[i].splitPos);
  for (size_t i = 1; i < l.comments.size(); ++i)
    check(l.comments[i - 1].splitPos < l.comments[i].splitPos);
  for (const Slot& s : l.slots) {
    check(s.unitPrice > 0);
    check(s.numItems > 0 ? s.slotPos == &s - l.slots.data() : s.slotPos < &s - l.slots.data());
  }
  for (int64_t k = 0; k < std::ssize(l.kinds); ++k) check(kindTotal(l.slots, k, -1).items >= 0);
  size_t indexed = 0;
  for (const auto& list : l.accountSplits) indexed += list.size();
  check(indexed == l.splits.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The precision warnings of products go to standard output; keep the fuzzer's log readable.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text =
      normalizeLedgerText(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const bool decimalComma : {false, true}) {
    Ledger ledger;
    ledger.decimalComma = decimalComma;
    int64_t lineNr = 1;
    parseLedger(ledger, text, lineNr);
    if (ledger.errorText.empty()) checkGood(ledger);
  }
  return 0;
}
