// Ledger text parsed as the loader parses a file: its normalisation, then parseLedger.
#pragma once

#include <string>
#include <string_view>

#include "app.h"
#include "parser.h"

namespace murex {

inline std::string normalisedLedger(std::string_view raw) { return normalizeLedgerText(raw); }

inline Ledger parsedLedger(std::string_view raw) {
  Ledger ledger;
  const std::string text = normalizeLedgerText(raw);
  int64_t lineNr = 1;
  parseLedger(ledger, text, lineNr);
  return ledger;
}

}  // namespace murex
