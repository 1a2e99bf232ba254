// importrules: the rules file of a bank's statement, read in the style of murex.ini: how
// its CSV is laid out ([csv]), which accounts of the ledger it books to ([ledger]), and the
// description words that choose a counter-account ([match]).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoding.h"
#include "ledger.h"

namespace murex {

// A column of the statement, by its number or by its header text.
struct Column {
  int64_t number = 0;   // from 1; 0 when named by header
  std::string header;   // the header text, when named by it
  int64_t lineNr = 0;   // the rule's line; 0 when the rules name no such column
};

struct MatchRule {
  std::string words;                // as written, for the comment of what it decided
  std::vector<std::string> folded;  // each word in lower case
  int64_t accountPos = -1;
  int64_t lineNr = 0;
};

struct ImportRules {
  std::string fileName;
  std::string text;  // the file, quoted by the reports of its errors
  char separator = ',';
  int64_t skip = 0;  // lines before the first record; the last of them is the header
  Encoding encoding = Encoding::Utf8;
  std::string dateFormat;     // the ledger's unless the rules say
  bool decimalComma = false;  // the ledger's unless the rules say
  bool negate = false;
  Column date, amount, in, out, id;  // amount, or in and out
  std::vector<Column> description;   // joined by a blank
  int64_t accountPos = -1;           // the statement's account
  int64_t unknownPos = -1;           // for the rows that nothing decides
  std::vector<MatchRule> match;      // in file order: the first that fits decides
};

// Reads and checks the rules file fileName; every fault is raised as the framed report
// "Error in <file> at line N: ...".
ImportRules readImportRules(const std::string& fileName, const Ledger& ledger);

}  // namespace murex
