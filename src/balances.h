// balances: the balance of accounts and the balance of inventory of a report request as
// values, each figure computed once; the console, the viewer and the exports write them.
#pragma once

#include <cstdint>
#include <vector>

#include "queries.h"
#include "reportrequest.h"

namespace murex {

struct AccountBalance {
  int64_t accountPos = -1;
  Money debit = 0;    // the account's own splits in the period
  Money credit = 0;
  Money balance = 0;  // with its sub-accounts, at the period's end
};

struct AccountBalances {
  std::vector<AccountBalance> rows;  // every account, in tree order
  Profit profit;
};
AccountBalances accountBalances(const ReportRequest& req);

struct KindBalance {
  int64_t kindPos = -1;
  KindSums sums;
};
// Every kind, by account in account order and then in kind order.
std::vector<KindBalance> kindBalances(const ReportRequest& req);

}  // namespace murex
