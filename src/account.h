// account: the chart of accounts, a flat list whose tree follows from the order and the
// indentation of the declaring lines. The tree is worked out once, in one pass over the
// complete list (linkAccounts), so that every tree question costs no walk over the list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace murex {

struct Account {
  std::string name;         // passes accNameOK; unique in the list
  std::string description;  // the comment of the declaring line, may be empty
  int64_t indent = 0;       // blanks before the name on the declaring line
  char typeChar = '-';      // own type tag: A, L, E, I, C, or '-' for none
  // The tree, filled by linkAccounts.
  int64_t parentPos = -1;   // the nearest account above indented less; -1 at the top level
  int64_t level = 0;        // 0: top level
  int64_t subtreeEnd = 0;   // one past the last account of the sub-tree
  char effectiveType = 'A';
};
using Accounts = std::vector<Account>;

// Result of a lookup: found or added, and the position (of the clash for a duplicate).
struct Found {
  bool ok = false;
  int64_t pos = 0;
};

// ASCII letters and digits only, not starting with a digit, at least one character.
bool accNameOK(std::string_view name);

// "Stocks" gives account Stocks; "Stocks:GOOGL" gives account Stocks with kind GOOGL.
struct AccountWord {
  bool ok = false;
  std::string_view account;
  std::string_view kind;  // empty without a kind
};
AccountWord splitAccountWord(std::string_view word);

// Fills the tree fields of every account in one pass; the parse calls it once the list is
// complete, and the questions below require it.
void linkAccounts(Accounts& accounts);

int64_t accountLevel(const Accounts& accounts, int64_t accountPos);  // 0: top level
bool isSubAccount(const Accounts& accounts, int64_t parentPos, int64_t accountPos);

// "Asset", "Liability", "Expense", "Income", "Capital"; "" for any other letter.
std::string_view accountTypeName(char letter);
struct AccountType {
  char own = '-';
  char effective = 'A';
  bool positive = true;  // A and E grow on the debit side
};
AccountType accountType(const Accounts& accounts, int64_t accountPos);
Found findAccountByType(const Accounts& accounts, char letter);  // by the own letter

// The description when there is one, else the name.
std::string_view accountDisplay(const Account& account);
struct AccountPath {
  std::string namePath;     // Assets:Current:cash
  std::string displayPath;  // the same with display texts
};
AccountPath accountPath(const Accounts& accounts, int64_t accountPos);

// A 1-based number, or a case-insensitive prefix of a name or else of a description.
Found searchAccount(const Accounts& accounts, std::string_view text);

}  // namespace murex
