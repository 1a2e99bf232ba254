// tests/account_test.cpp: the name rules and the walks over the flat account list.
#include "account.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "literal_ledger.h"

namespace murex {
namespace {

Accounts tree(std::initializer_list<std::tuple<const char*, int64_t, char>> rows) {
  Accounts list;
  for (const auto& [name, indent, type] : rows)
    list.push_back({.name = name, .description = {}, .indent = indent, .typeChar = type});
  linkAccounts(list);
  return list;
}

// Assets 4, Current 8, bank 12, cash 12, Exp 4
Accounts sample() {
  return tree({{"Assets", 4, 'A'},
               {"Current", 8, '-'},
               {"bank", 12, '-'},
               {"cash", 12, '-'},
               {"Exp", 4, 'E'}});
}

TEST(AccNameOK, AcceptsAsciiLettersAndDigitsNotLeadingDigit) {
  const std::pair<std::string_view, bool> cases[] = {
      {"accRec", true}, {"Supplier1", true},    {"MyLiquoreStore", true}, {"a", true},
      {"", false},      {"1abc", false},        {"a-b", false},           {"a_b", false},
      {"a.b", false},   {"caf\xc3\xa9", false}, {"a:b", false},           {"a b", false},
  };
  for (const auto& [name, ok] : cases) EXPECT_EQ(accNameOK(name), ok) << name;
}

TEST(SplitAccountWord, SplitsAtOneColonOnly) {
  struct Case {
    std::string_view word;
    bool ok;
    std::string_view account, kind;
  };
  const Case cases[] = {
      {"Stocks", true, "Stocks", ""}, {"Stocks:GOOGL", true, "Stocks", "GOOGL"},
      {":GOOGL", false, "", ""},      {"Stocks:", false, "", ""},
      {"a:b:c", false, "", ""},       {"Sto-cks:GOOGL", false, "", ""},
      {"Stocks:1X", false, "", ""},   {"", false, "", ""},
  };
  for (const Case& c : cases) {
    const AccountWord w = splitAccountWord(c.word);
    EXPECT_EQ(w.ok, c.ok) << c.word;
    EXPECT_EQ(w.account, c.account) << c.word;
    EXPECT_EQ(w.kind, c.kind) << c.word;
  }
}

TEST(AddAccount, RefusesExactDuplicateOnly) {
  Accounts list;
  EXPECT_EQ(addAccount(list, {.name = "Cash", .description = {}}).pos, 0);
  const Found dup = addAccount(list, {.name = "Cash", .description = {}});
  EXPECT_FALSE(dup.ok);
  EXPECT_EQ(dup.pos, 0);
  const Found other = addAccount(list, {.name = "cash", .description = {}});
  EXPECT_TRUE(other.ok);
  EXPECT_EQ(other.pos, 1);
  EXPECT_EQ(findAccount(list, "cash").pos, 1);
  EXPECT_FALSE(findAccount(list, "CASH").ok);
}

TEST(AccountLevel, CountsAncestorsBySmallerIndent) {
  const Accounts list = sample();
  const int64_t want[] = {0, 1, 2, 2, 0};
  for (int64_t i = 0; i < 5; ++i) EXPECT_EQ(accountLevel(list, i), want[i]) << i;
}

TEST(IsSubAccount, FollowsTheContiguousDeeperRun) {
  const Accounts list = sample();
  EXPECT_TRUE(isSubAccount(list, 0, 3));
  EXPECT_TRUE(isSubAccount(list, 1, 2));
  EXPECT_FALSE(isSubAccount(list, 1, 4));
  EXPECT_FALSE(isSubAccount(list, 2, 3));  // siblings
  EXPECT_FALSE(isSubAccount(list, 3, 3));
  EXPECT_FALSE(isSubAccount(list, 3, 0));
}

TEST(AccountPath, JoinsAncestorsTopFirst) {
  Accounts list = sample();
  list[1].description = "Current assets";
  const AccountPath path = accountPath(list, 3);
  EXPECT_EQ(path.namePath, "Assets:Current:cash");
  EXPECT_EQ(path.displayPath, "Assets:Current assets:cash");
  EXPECT_EQ(accountPath(list, 4).namePath, "Exp");
}

// The walks over the list that the tree was worked out from, written out plainly: the tree
// must answer as they do for every shape of indentation.
int64_t levelByWalk(const Accounts& l, int64_t a) {
  int64_t cur = l[a].indent, level = 0;
  for (int64_t j = a - 1; j >= 0; --j)
    if (l[j].indent < cur) ++level, cur = l[j].indent;
  return level;
}
bool subAccountByWalk(const Accounts& l, int64_t p, int64_t a) {
  if (a <= p) return false;
  for (int64_t j = p + 1; j <= a; ++j)
    if (l[j].indent <= l[p].indent) return false;
  return true;
}
char typeByWalk(const Accounts& l, int64_t a) {
  for (int64_t j = a;; --j) {
    if (l[j].typeChar != '-') return l[j].typeChar;
    if (levelByWalk(l, j) == 0) return 'A';
  }
}
TEST(LinkAccounts, AnswersAsTheWalksOverTheListForEveryIndentation) {
  const std::vector<std::vector<int64_t>> shapes = {
      {4}, {4, 8, 12, 12, 4}, {8, 4, 6, 2, 10, 10, 3}, {4, 12, 8, 8, 12, 4, 0, 2},
      {2, 4, 6, 8, 10, 8, 6, 4, 2, 4}, {5, 5, 5}, {1, 3, 2, 3, 1, 0, 3},
  };
  const char types[] = {'-', 'E', '-', '-', 'L', '-', 'A', '-', 'I', '-'};
  for (const std::vector<int64_t>& shape : shapes) {
    Accounts l;
    for (size_t i = 0; i < shape.size(); ++i)
      l.push_back({.name = "a" + std::to_string(i), .description = {}, .indent = shape[i],
                   .typeChar = types[i]});
    linkAccounts(l);
    const int64_t n = std::ssize(l);
    for (int64_t a = 0; a < n; ++a) {
      EXPECT_EQ(accountLevel(l, a), levelByWalk(l, a)) << a;
      EXPECT_EQ(accountType(l, a).effective, typeByWalk(l, a)) << a;
      std::string path = l[a].name;
      for (int64_t j = a - 1, cur = l[a].indent; j >= 0; --j)
        if (l[j].indent < cur) path = l[j].name + ":" + path, cur = l[j].indent;
      EXPECT_EQ(accountPath(l, a).namePath, path);
      for (int64_t b = 0; b < n; ++b) EXPECT_EQ(isSubAccount(l, a, b), subAccountByWalk(l, a, b));
    }
  }
}

struct TypeCase {
  Accounts list;
  int64_t pos;
  char effective;
  bool positive;
};
TEST(AccountType, WalksBackToTypedOrTopLevelAccount) {
  const TypeCase cases[] = {
      {sample(), 3, 'A', true},
      {sample(), 4, 'E', true},
      // An untyped top-level account after a typed tree is an asset, not an expense.
      {tree({{"Exp", 4, 'E'}, {"food", 8, '-'}, {"Other", 4, '-'}, {"misc", 8, '-'}}), 2, 'A',
       true},
      {tree({{"Exp", 4, 'E'}, {"food", 8, '-'}, {"Other", 4, '-'}, {"misc", 8, '-'}}), 3, 'A',
       true},
      {tree({{"Exp", 4, 'E'}, {"food", 8, '-'}}), 1, 'E', true},
      // A typed sub-account passes its type to the following untyped siblings.
      {tree({{"Top", 4, 'A'}, {"loan", 8, 'L'}, {"card", 8, '-'}}), 2, 'L', false},
      {tree({{"Inc", 4, 'I'}, {"a", 8, '-'}, {"b", 12, '-'}}), 2, 'I', false},
      // Indented deeper first, then shallower: the second one is top-level too.
      {tree({{"Deep", 8, 'C'}, {"Flat", 4, '-'}}), 1, 'A', true},
      {tree({{"Flat", 4, '-'}}), 0, 'A', true},
  };
  for (const TypeCase& c : cases) {
    const AccountType t = accountType(c.list, c.pos);
    EXPECT_EQ(t.own, c.list[c.pos].typeChar);
    EXPECT_EQ(t.effective, c.effective) << c.list[c.pos].name;
    EXPECT_EQ(t.positive, c.positive) << c.list[c.pos].name;
  }
}

TEST(AccountTypeName, NamesTheFiveLettersOnly) {
  EXPECT_EQ(accountTypeName('L'), "Liability");
  EXPECT_EQ(accountTypeName('C'), "Capital");
  EXPECT_EQ(accountTypeName('a'), "");
  EXPECT_EQ(accountTypeName('X'), "");
}

TEST(FindAccountByType, FindsFirstOwnLetter) {
  const Accounts list = sample();
  EXPECT_EQ(findAccountByType(list, 'E').pos, 4);
  EXPECT_FALSE(findAccountByType(list, 'L').ok);
}

TEST(SearchAccount, ReadsNumbersAndCaseInsensitivePrefixes) {
  Accounts list = sample();
  list[4].description = "Expenses";
  const std::pair<std::string_view, int64_t> cases[] = {
      {"2", 1},
      {"5", 4},
      {"0", -1},
      {"6", -1},
      {"ca", 3},
      {"CA", 3},
      {"cUr", 1},
      {"expen", 4},
      {"x", -1},
      {"", -1},
      {"-1", -1},
      {"99999999999999999999", -1},  // too big a number is a name prefix that matches nothing
  };
  for (const auto& [text, want] : cases) {
    const Found f = searchAccount(list, text);
    EXPECT_EQ(f.ok ? f.pos : -1, want) << text;
  }
}

}  // namespace
}  // namespace murex
