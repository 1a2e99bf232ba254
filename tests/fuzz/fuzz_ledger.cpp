// Fuzz target for the ledger parse: arbitrary bytes, normalised as the loader does, parsed
// with both decimal separators. parseLedger must not raise; a good parse must keep the
// ledger's promises (balanced transactions, no unset amount, holdings never negative). The
// same bytes read as the loader reads a file, in small blocks, must give the same ledger or
// the same error report.
// fuzz-max-len: 4096
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app.h"
#include "loader.h"
#include "../literal_ledger.h"
#include "fuzz_support.h"
#include "ledgertext.h"
#include "parse.h"
#include "queries.h"
#include "token.h"

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
  for (int64_t k = 0; k < std::ssize(l.kinds); ++k) {
    for (size_t i = 0; i < l.kindSplits[k].size(); ++i) {
      const int64_t sp = l.kindSplits[k][i];
      int64_t begin = 0;
      while (begin < std::ssize(l.slots) && l.slots[begin].splitPos < sp) ++begin;
      int64_t end = begin;
      while (end < std::ssize(l.slots) && l.slots[end].splitPos == sp) ++end;
      check(kindSplitSlots(l, k, i) == std::make_pair(begin, end));
      check(splitSlots(l, sp) == std::make_pair(begin, end));
    }
  }
  // The indexes and the running balances are those of a literal walk.
  std::vector<std::vector<int64_t>> byAccount(l.accounts.size());
  std::vector<std::vector<int64_t>> byKind(l.kinds.size());
  std::vector<Money> balance(l.accounts.size(), 0);
  for (int64_t i = 0; i < std::ssize(l.splits); ++i) {
    const Split& s = l.splits[i];
    byAccount[s.accountPos].push_back(i);
    if (s.kindPos >= 0) byKind[s.kindPos].push_back(i);
    balance[s.accountPos] += s.money;
    check(s.balance == balance[s.accountPos]);
  }
  check(l.accountSplits == byAccount && l.kindSplits == byKind);
}

void checkSame(const Ledger& a, const Ledger& b) {
  check(a.errorText == b.errorText);
  if (!a.errorText.empty()) return;
  check(a.transactions.size() == b.transactions.size() && a.splits.size() == b.splits.size() &&
        a.slots.size() == b.slots.size() && a.comments.size() == b.comments.size() &&
        a.accounts.size() == b.accounts.size() && a.kinds.size() == b.kinds.size());
  for (size_t i = 0; i < a.transactions.size(); ++i)
    check(a.transactions[i].date == b.transactions[i].date &&
          transactionDescription(a, a.transactions[i]) ==
              transactionDescription(b, b.transactions[i]));
  for (size_t i = 0; i < a.splits.size(); ++i) {
    const Split& x = a.splits[i];
    const Split& y = b.splits[i];
    check(x.traPos == y.traPos && x.accountPos == y.accountPos && x.money == y.money &&
          x.balance == y.balance && x.kindPos == y.kindPos);
    check(splitComment(a, int64_t(i)) == splitComment(b, int64_t(i)));
  }
  for (size_t i = 0; i < a.slots.size(); ++i)
    check(a.slots[i].splitPos == b.slots[i].splitPos &&
          a.slots[i].numItems == b.slots[i].numItems &&
          a.slots[i].unitPrice == b.slots[i].unitPrice && a.slots[i].slotPos == b.slots[i].slotPos);
  for (size_t i = 0; i < a.accounts.size(); ++i)
    check(a.accounts[i].name == b.accounts[i].name &&
          a.accounts[i].description == b.accounts[i].description &&
          a.accounts[i].typeChar == b.accounts[i].typeChar);
  for (size_t i = 0; i < a.kinds.size(); ++i)
    check(a.kinds[i].name == b.kinds[i].name && a.kinds[i].description == b.kinds[i].description);
  check(a.moneyWhole == b.moneyWhole && a.itemsWhole == b.itemsWhole);
}

// The bytes as the loader reads a file, in blocks of the given size.
void parseAsFile(Ledger& ledger, std::string_view bytes, size_t block) {
  const int fd = memfd_create("ledger", MFD_CLOEXEC);
  check(fd >= 0);
  check(write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()));
  check(lseek(fd, 0, SEEK_SET) == 0);
  LedgerReader reader(fd, block);
  int64_t lineNr = 1;
  parseLedgerPieces(
      ledger, [&reader](std::string& piece) { return reader.next(piece); },
      int64_t(bytes.size()), lineNr);
  check(!reader.failed());
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
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
    Ledger pieces;
    pieces.decimalComma = decimalComma;
    parseAsFile(pieces, std::string_view(reinterpret_cast<const char*>(data), size),
                size == 0 ? 1 : 1 + data[0] % 64);
    checkSame(ledger, pieces);
  }
  return 0;
}
