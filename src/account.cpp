#include "account.h"

#include <cassert>
#include <utility>
#include <vector>

#include "digits.h"
#include "unicode.h"

namespace murex {

namespace {

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool accNameOK(std::string_view name) {
  if (name.empty() || isDigit(name[0])) return false;
  for (char c : name)
    if (!isAsciiLetter(c) && !isDigit(c)) return false;
  return true;
}

AccountWord splitAccountWord(std::string_view word) {
  if (accNameOK(word)) return {.ok = true, .account = word, .kind = {}};
  const size_t colon = word.find(':');
  if (colon == std::string_view::npos) return {};
  const std::string_view account = word.substr(0, colon);
  const std::string_view kind = word.substr(colon + 1);
  if (!accNameOK(account) || !accNameOK(kind)) return {};  // a second colon fails the name rule
  return {.ok = true, .account = account, .kind = kind};
}

void linkAccounts(Accounts& accounts) {
  const int64_t n = std::ssize(accounts);
  std::vector<int64_t> open;  // the chain of accounts the next one may belong to
  for (int64_t a = 0; a < n; ++a) {
    Account& acc = accounts[a];
    while (!open.empty() && accounts[open.back()].indent >= acc.indent) {
      accounts[open.back()].subtreeEnd = a;
      open.pop_back();
    }
    acc.parentPos = open.empty() ? -1 : open.back();
    acc.level = open.empty() ? 0 : accounts[acc.parentPos].level + 1;
    // An account without a tag takes the type of the one above it; at the top level, with
    // none above it indented less, it is an asset.
    if (acc.typeChar != '-') {
      acc.effectiveType = acc.typeChar;
    } else {
      acc.effectiveType = acc.parentPos < 0 ? 'A' : accounts[a - 1].effectiveType;
    }
    open.push_back(a);
  }
  for (const int64_t a : open) accounts[a].subtreeEnd = n;
}

int64_t accountLevel(const Accounts& accounts, int64_t accountPos) {
  assert(accountPos >= 0 && accountPos < std::ssize(accounts));
  assert(accounts[accountPos].subtreeEnd > accountPos);
  return accounts[accountPos].level;
}

bool isSubAccount(const Accounts& accounts, int64_t parentPos, int64_t accountPos) {
  assert(parentPos >= 0 && parentPos < std::ssize(accounts));
  assert(accountPos >= 0 && accountPos < std::ssize(accounts));
  assert(accounts[parentPos].subtreeEnd > parentPos);
  return accountPos > parentPos && accountPos < accounts[parentPos].subtreeEnd;
}

std::string_view accountTypeName(char letter) {
  static constexpr std::pair<char, std::string_view> names[] = {
      {'A', "Asset"}, {'L', "Liability"}, {'E', "Expense"}, {'I', "Income"}, {'C', "Capital"}};
  for (const auto& [l, name] : names)
    if (l == letter) return name;
  return "";
}

AccountType accountType(const Accounts& accounts, int64_t accountPos) {
  assert(accountPos >= 0 && accountPos < std::ssize(accounts));
  const Account& acc = accounts[accountPos];
  assert(acc.subtreeEnd > accountPos);
  return {.own = acc.typeChar,
          .effective = acc.effectiveType,
          .positive = acc.effectiveType == 'A' || acc.effectiveType == 'E'};
}

Found findAccountByType(const Accounts& accounts, char letter) {
  for (int64_t i = 0; i < std::ssize(accounts); ++i)
    if (accounts[i].typeChar == letter) return {.ok = true, .pos = i};
  return {};
}

std::string_view accountDisplay(const Account& account) {
  return account.description.empty() ? std::string_view(account.name)
                                     : std::string_view(account.description);
}

AccountPath accountPath(const Accounts& accounts, int64_t accountPos) {
  assert(accountPos >= 0 && accountPos < std::ssize(accounts));
  assert(accounts[accountPos].subtreeEnd > accountPos);
  std::vector<int64_t> chain;  // from the account up to its top-level account
  for (int64_t a = accountPos; a >= 0; a = accounts[a].parentPos) chain.push_back(a);
  AccountPath path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it != chain.rbegin()) {
      path.namePath += ':';
      path.displayPath += ':';
    }
    path.namePath += accounts[*it].name;
    path.displayPath += accountDisplay(accounts[*it]);
  }
  return path;
}

Found searchAccount(const Accounts& accounts, std::string_view text) {
  if (text.empty()) return {};
  int64_t n = 0;
  // A run of digits too big to read counts as a name prefix.
  if (readNumber(text, n)) {
    if (n >= 1 && n <= std::ssize(accounts)) return {.ok = true, .pos = n - 1};
    return {};
  }
  for (int64_t i = 0; i < std::ssize(accounts); ++i) {
    const Account& a = accounts[i];
    if (startsWithFolded(a.name, text) ||
        (!a.description.empty() && startsWithFolded(a.description, text)))
      return {.ok = true, .pos = i};
  }
  return {};
}

}  // namespace murex
