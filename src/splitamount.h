// splitamount: a split's amount word and the sums it feeds, as the parse takes them: the
// plain form, items at a price (first in first out), close, close@ and revalue@; the running
// sums of the accounts that "close" reads; a transaction's missing amount and its sum of zero.
//   procMoney          the amount word of the last split
//   finishTransaction  the open transaction's missing amount filled, or its sum checked
#pragma once

#include <string_view>

#include "parsestate.h"

namespace murex {

// Sets the last split's amount from its amount word and adds it to its account's sum.
void procMoney(Parse& p, std::string_view word);
// Fills the open transaction's one missing amount, or checks that its amounts add up to
// zero; an error is placed at the transaction's last split line.
void finishTransaction(Parse& p);

}  // namespace murex
