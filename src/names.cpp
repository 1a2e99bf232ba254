#include "names.h"

#include <string>

#include "account.h"
#include "inventory.h"

namespace murex {

namespace {

// The word a search finds the item at pos by: its name, else its number from 1.
template <typename List, typename Search>
void appendFound(std::string& out, const List& list, Search search) {
  for (int64_t pos = 0; pos < std::ssize(list); ++pos) {
    const std::string& name = list[pos].name;
    const Found found = search(list, name);
    out += found.ok && found.pos == pos ? name : std::to_string(pos + 1);
    out += '\n';
  }
}

}  // namespace

std::string namesText(const Ledger& ledger, Datum first, Datum last, NameLists lists) {
  std::string out;
  if (lists.accounts) appendFound(out, ledger.accounts, searchAccount);
  if (lists.kinds) appendFound(out, ledger.kinds, searchKind);
  if (lists.periods) {
    for (const std::string& period : periodList(first, last, yearOf(last))) {
      out += period;
      out += '\n';
    }
  }
  return out;
}

}  // namespace murex
