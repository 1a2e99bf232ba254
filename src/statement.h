// statement: a bank's CSV statement read by its rules into rows of a date, an amount, a
// description and the bank's id, in date order (a statement listed newest first is read
// from its end). Knows nothing of the ledger's transactions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "amount.h"
#include "datum.h"
#include "importrules.h"

namespace murex {

struct StatementRow {
  int64_t lineNr = 0;  // where its record starts in the statement
  Datum date = 0;
  Money amount = 0;         // money into the account positive
  std::string description;  // its columns joined, line breaks and runs of blanks one blank
  std::string id;           // "" without an id column or with an empty cell
};

struct Statement {
  std::string fileName;
  std::string text;  // as UTF-8, quoted by the reports of its errors
  std::vector<StatementRow> rows;
};

// Reads fileName by rules; a fault (a bad date or amount, a missing column, bytes that are
// not text) is raised as the framed report "Error in <file> at line N: ...".
Statement readStatement(const std::string& fileName, const ImportRules& rules);

}  // namespace murex
