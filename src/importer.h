// importer: a statement's rows turned into ledger text to append: the rows the ledger does
// not have yet as transactions, the others commented out with the reason; proven by
// parsing the ledger's text with it appended before anything is given out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "importrules.h"
#include "ledger.h"
#include "statement.h"

namespace murex {

struct ImportResult {
  std::string text;  // to append to the ledger file as it stands
  int64_t added = 0;
  int64_t duplicates = 0;
  int64_t older = 0;  // dated before the ledger's last transaction
};

// ledgerText is the normalised text that ledger was parsed from. Raises the framed report
// of a statement whose sum leaves 64 bits, and "Import not proven: ..." when the ledger
// with the text appended does not parse or its statement account does not change by the
// new rows' sum.
ImportResult importStatement(const Ledger& ledger, std::string_view ledgerText,
                             const ImportRules& rules, const Statement& statement);

// The line for standard error: "march.csv: 3 new, 1 left out as a duplicate, ...".
std::string importSummary(const Statement& statement, const ImportResult& result);

}  // namespace murex
