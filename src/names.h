// names: the words the other commands accept, one per line, for editors and scripts: the
// accounts as the account command finds them, the kinds as the inventory command finds
// them, and the periods that the viewer's period selector offers.
#pragma once

#include <string>

#include "datum.h"
#include "ledger.h"

namespace murex {

struct NameLists {
  bool accounts = true;
  bool kinds = true;
  bool periods = true;
};

// Each account by its name, or by its number where the name finds an account before it
// (another's name or description starts with it); each kind alike; then the periods of a
// ledger from first to last in the viewer's order. Every line ends with a line feed.
std::string namesText(const Ledger& ledger, Datum first, Datum last, NameLists lists);

}  // namespace murex
