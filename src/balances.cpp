#include "balances.h"

#include <algorithm>
#include <cassert>

namespace murex {

AccountBalances accountBalances(const ReportRequest& req) {
  const Ledger& ledger = req.ledger;
  assert(canReport(ledger));
  const std::vector<Sums> trees = everySubtreeSums(ledger, req.fromDate, req.toDate);
  AccountBalances out;
  out.rows.reserve(ledger.accounts.size());
  for (int64_t a = 0; a < std::ssize(ledger.accounts); ++a) {
    const Sums own = accountSums(ledger, a, req.fromDate, req.toDate);
    out.rows.push_back({.accountPos = a,
                        .debit = own.debit,
                        .credit = own.credit,
                        .balance = trees[static_cast<size_t>(a)].balance});
  }
  out.profit = profitOf(ledger, [&](int64_t pos) { return trees[static_cast<size_t>(pos)]; });
  return out;
}

std::vector<KindBalance> kindBalances(const ReportRequest& req) {
  const Ledger& ledger = req.ledger;
  assert(canReport(ledger));
  std::vector<KindBalance> out;
  out.reserve(ledger.kinds.size());
  for (int64_t k = 0; k < std::ssize(ledger.kinds); ++k) out.push_back({.kindPos = k, .sums = {}});
  std::stable_sort(out.begin(), out.end(), [&](const KindBalance& x, const KindBalance& y) {
    return ledger.kinds[x.kindPos].accountPos < ledger.kinds[y.kindPos].accountPos;
  });
  for (KindBalance& b : out) b.sums = kindSums(ledger, b.kindPos, req.fromDate, req.toDate);
  return out;
}

}  // namespace murex
