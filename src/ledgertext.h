// ledgertext: a parsed ledger written back as ledger text (one transaction, the next
// ledger's opening transaction, an amount) and ledger text shown as HTML.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ledger.h"

namespace murex {

std::string transactionText(const Ledger& ledger, int64_t splitPos);
std::string newOpeningText(const Ledger& ledger);

// An amount (or item count) as ledger text: 1_234.56, 1_200, 1.00, -5.
std::string ledgerAmountText(const Ledger& ledger, Money m);
// Ledger text as HTML with one span per run of tokens of the same class; the token texts
// are escaped ("<", ">").
std::string highlightLedger(std::string_view text);

}  // namespace murex
