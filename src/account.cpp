#include "account.h"

#include <cassert>
#include <utility>

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

int64_t accountLevel(const Accounts& accounts, int64_t accountPos) {
  assert(accountPos >= 0 && accountPos < std::ssize(accounts));
  int64_t cur = accounts[accountPos].indent;
  int64_t level = 0;
  for (int64_t j = accountPos - 1; j >= 0; --j) {
    if (accounts[j].indent < cur) {
      ++level;
      cur = accounts[j].indent;
    }
  }
  return level;
}

bool isSubAccount(const Accounts& accounts, int64_t parentPos, int64_t accountPos) {
  assert(parentPos >= 0 && parentPos < std::ssize(accounts));
  assert(accountPos >= 0 && accountPos < std::ssize(accounts));
  if (accountPos <= parentPos) return false;
  const int64_t indent = accounts[parentPos].indent;
  for (int64_t j = parentPos + 1; j <= accountPos; ++j)
    if (accounts[j].indent <= indent) return false;
  return true;
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
  // The backward walk stops at the nearest account that is typed or top-level (no earlier
  // account indented less). Found here in one forward pass, which knows the smallest
  // indent so far and so which accounts are top-level.
  char effective = 'A';
  int64_t minIndent = INT64_MAX;
  for (int64_t j = 0; j <= accountPos; ++j) {
    const Account& a = accounts[j];
    if (a.typeChar != '-') {
      effective = a.typeChar;
    } else if (a.indent <= minIndent) {
      effective = 'A';
    }
    if (a.indent < minIndent) minIndent = a.indent;
  }
  return {.own = accounts[accountPos].typeChar,
          .effective = effective,
          .positive = effective == 'A' || effective == 'E'};
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
  const Account& acc = accounts[accountPos];
  AccountPath path{.namePath = acc.name, .displayPath = std::string(accountDisplay(acc))};
  int64_t cur = acc.indent;
  for (int64_t j = accountPos - 1; j >= 0 && cur > 0; --j) {
    const Account& a = accounts[j];
    if (a.indent >= cur) continue;
    path.namePath = a.name + ":" + path.namePath;
    path.displayPath = std::string(accountDisplay(a)) + ":" + path.displayPath;
    cur = a.indent;
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
