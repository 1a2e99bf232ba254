// parse: the tokenizer, and what the parse builds beyond its messages (those
// are in the corpus of tests/ledgers, see ledger_corpus_test.cpp).
#include "error.h"
#include "ledgertext.h"
#include "parse.h"
#include "queries.h"
#include "token.h"

#include <gtest/gtest.h>

#include <random>

#include "ledger_text.h"
#include "literal_ledger.h"

namespace murex {
namespace {

struct Tok {
  TokenType type;
  std::string text;
  int64_t spaces;
};

// The classified token stream, as the parse loop sees it.
std::vector<Tok> tokens(std::string_view raw) {
  const std::string text = normalisedLedger(raw);
  std::vector<Tok> out;
  int64_t pos = 0, datumCount = 0;
  TokenType prev = TokenType::NewLine;
  while (true) {
    Token t = nextToken(text, pos);
    EXPECT_EQ(t.pos, pos);
    pos += t.len;
    if (t.tokType == TokenType::Str) t.tokType = classify(text, t, prev, datumCount);
    prev = t.tokType;
    out.push_back({t.tokType, tokenText(text, t, false), t.spaces});
    if (t.tokType == TokenType::End || t.tokType == TokenType::Str) break;
  }
  return out;
}

using T = TokenType;

TEST(NextToken, ScansBlanksWordsSemicolonsAndLineEnds) {
  struct Case {
    std::string_view text;
    int64_t start;
    TokenType type;
    int64_t len, spaces;
  };
  const Case cases[] = {
      {"", 0, T::End, 0, 0},      {"  \t", 0, T::End, 3, 3},         {"ab cd", 0, T::Str, 2, 0},
      {"ab cd", 2, T::Str, 3, 1}, {" ;x", 0, T::CommentStart, 2, 1}, {"\t\n", 0, T::NewLine, 2, 1},
      {"a;b", 0, T::Str, 1, 0},   {"a\fb c", 0, T::Str, 3, 0},       {"a\rb", 0, T::Str, 3, 0},
      {"x", 1, T::End, 0, 0},
  };
  for (const Case& c : cases) {
    const Token t = nextToken(c.text, c.start);
    EXPECT_EQ(t.tokType, c.type) << c.text;
    EXPECT_EQ(t.len, c.len) << c.text;
    EXPECT_EQ(t.spaces, c.spaces) << c.text;
    EXPECT_EQ(t.pos, c.start);
  }
}

// The parse finds blanks and word ends through masks of 64 bytes at a time: at every start
// of random texts, with runs long enough to cross every block border and the last block's
// end, it reads the tokens that the byte-wise scanner reads.
TEST(WordMasks, ReadTheTokensOfTheByteWiseScanAtEveryStart) {
  std::mt19937 rng(11);
  const std::string_view alphabet = " \t\n;a\f\xc3";
  WordMasks masks;
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const int length = int(rng() % 200);
    while (int(text.size()) < length) {
      // Runs of one byte, so that long blanks and long words occur.
      text.append(1 + rng() % 24, alphabet[rng() % alphabet.size()]);
    }
    EXPECT_EQ(masks.build(text), text.find('\f') != std::string::npos);
    for (int64_t start = 0; start <= std::ssize(text); ++start) {
      const Token got = scanToken(text, start, masks);
      const Token want = nextToken(text, start);
      ASSERT_EQ(got.tokType, want.tokType) << testing::PrintToString(text) << " at " << start;
      ASSERT_EQ(got.len, want.len) << testing::PrintToString(text) << " at " << start;
      ASSERT_EQ(got.spaces, want.spaces) << testing::PrintToString(text) << " at " << start;
    }
  }
}

TEST(TokenText, ShowsFormFeedsAsDoubledSemicolons) {
  const std::string_view text = "  a\fb";
  const Token t = nextToken(text, 0);
  EXPECT_EQ(tokenText(text, t, false), "a;;b");
  EXPECT_EQ(tokenText(text, t, true), "  a;;b");
}

TEST(TokenTypeName, NamesEveryType) {
  EXPECT_EQ(tokenTypeName(T::Amount), "Amount");
  EXPECT_EQ(tokenTypeName(T::CommentStart), "CommentStart");
  EXPECT_EQ(tokenTypeName(T::Description), "Description");
  EXPECT_EQ(tokenTypeName(T::Unset), "Unset");
  EXPECT_EQ(tokenTypeName(TokenType(42)), "Unset");
}

TEST(Classify, GivesWordsTheirMeaningFromThePreviousToken) {
  struct Case {
    std::string_view word;
    TokenType prev;
    int64_t datumCount;
    TokenType want;
  };
  const Case cases[] = {
      {"2024-01-01", T::NewLine, 0, T::Datum},
      {"  Cash", T::NewLine, 1, T::Account},
      {" 12", T::Account, 1, T::Amount},
      {" x", T::Datum, 1, T::Description},
      {" x", T::Description, 1, T::Description},
      {" @A", T::CommentStart, 1, T::Tag},
      {" @A", T::Comment, 1, T::Tag},
      {" @A", T::Tag, 0, T::Tag},
      {" @A", T::CommentStart, 2, T::Comment},
      {" x@", T::CommentStart, 0, T::Comment},
      {" x", T::Amount, 1, T::Str},
      {" x", T::End, 1, T::Str},
  };
  for (const Case& c : cases) {
    int64_t count = c.datumCount;
    const Token t = nextToken(c.word, 0);
    EXPECT_EQ(classify(c.word, t, c.prev, count), c.want) << c.word;
    EXPECT_EQ(count, c.datumCount + (c.want == T::Datum ? 1 : 0));
  }
}

TEST(Tokens, SplitTransactionAndSplitLines) {
  const std::vector<Tok> got = tokens(
      "2024-04-30 Grocery from Aldi\n"
      "    Stocks:GOOGL  520@164.21\n"
      "    Exp 0 ; @E Expenses\n"
      "2024-05-01\n"
      "    Exp 1 ;@E\tb;;c \n");
  const std::vector<std::pair<TokenType, std::string>> want = {
      {T::Datum, "2024-04-30"},
      {T::Description, "Grocery"},
      {T::Description, "from"},
      {T::Description, "Aldi"},
      {T::NewLine, ""},
      {T::Account, "Stocks:GOOGL"},
      {T::Amount, "520@164.21"},
      {T::NewLine, ""},
      {T::Account, "Exp"},
      {T::Amount, "0"},
      {T::CommentStart, ";"},
      {T::Tag, "@E"},
      {T::Comment, "Expenses"},
      {T::NewLine, ""},
      {T::Datum, "2024-05-01"},
      {T::NewLine, ""},
      {T::Account, "Exp"},
      {T::Amount, "1"},
      {T::CommentStart, ";"},
      {T::Comment, "@E"},
      {T::Comment, "b;;c"},
      {T::NewLine, ""},
      {T::End, ""},
  };
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].type, want[i].first) << i;
    if (want[i].first != T::NewLine && want[i].first != T::CommentStart) {
      EXPECT_EQ(got[i].text, want[i].second) << i;
    }
  }
  EXPECT_EQ(got[5].spaces, 4);
  EXPECT_EQ(got[6].spaces, 2);
  EXPECT_EQ(got[20].spaces, 1);  // the tab
}

TEST(Tokens, StopAtAWordAfterTheAmount) {
  const std::vector<Tok> got = tokens("2024-01-01\n  Cash 10 stray\n");
  EXPECT_EQ(got.back().type, T::Str);
  EXPECT_EQ(got.back().text, "stray");
}

TEST(ParseLedger, FillsMissingAmountBalancesAndIndexes) {
  const Ledger l = parsedLedger(
      "2024-01-01 Opening\n"
      "  Assets 0 ; @A Own things\n"
      "    Cash 100\n"
      "  Stocks 0\n"
      "  Stocks:Wine 6@10.50 ;  Red  wine\n"
      "  Equity ;@C\n"
      "2024-01-02   Buy   two\n"
      "    Stocks:Wine 2@12\n"
      "    Cash -35.20\n"
      "    Equity\n");
  ASSERT_EQ(l.errorText, "");
  ASSERT_EQ(l.splits.size(), 8u);
  EXPECT_EQ(transactionDescription(l, l.transactions[1]), "Buy   two");
  EXPECT_EQ(l.accounts[0].description, "Own things");
  EXPECT_EQ(l.accounts[0].typeChar, 'A');
  EXPECT_EQ(l.accounts[3].typeChar, 'C');
  EXPECT_EQ(l.kinds[0].description, "Red  wine");
  EXPECT_EQ(l.splits[3].money, 6300);
  EXPECT_EQ(l.splits[4].money, -16300);  // 100.00 + 63.00 balanced by equity
  EXPECT_EQ(l.splits[7].money, 1120);    // -(24.00 - 35.20)
  EXPECT_EQ(l.splits[6].balance, 10000 - 3520);
  EXPECT_FALSE(l.moneyWhole);
  EXPECT_TRUE(l.itemsWhole);
  const std::vector<int64_t> cash = {1, 6};
  EXPECT_EQ(l.accountSplits[1], cash);
  const std::vector<int64_t> wine = {3, 5};
  EXPECT_EQ(l.kindSplits[0], wine);
  EXPECT_EQ(splitItems(l, 5), 200);
  EXPECT_EQ(splitUnitPrice(l, 5), 1200);
  EXPECT_EQ(splitSlots(l, 5), std::make_pair(int64_t(1), int64_t(2)));
  EXPECT_EQ(splitSlots(l, 6).first, splitSlots(l, 6).second);
}

// A date word or account word met before is taken from what the parse remembers of it; a
// word that differs is still checked in full.
TEST(ParseLedger, RepeatedWordsAreCheckedLikeNewOnes) {
  const std::string opening =
      "2024-01-01\n  Cash 10\n  Stocks 0\n  Stocks:Wine 1@10\n  Eq -20\n"
      "2024-01-02\n  Cash 1\n  Stocks:Wine 1@1\n  Eq -2\n"
      "2024-01-02\n  Cash 1\n  Eq -1\n";
  const struct {
    std::string tail;
    std::string error;  // the first line of the report, "" for none
  } cases[] = {
      {"2024-01-02\n  Cash 1\n  Eq -1\n", ""},
      {"2024-01-01\n  Cash 1\n  Eq -1\n",
       "Error at line 13: Date earlier than in the previous transaction"},
      {"2024-01-02x\n  Cash 1\n  Eq -1\n", "Error at line 13: Date wrong: 2024-01-02x"},
      {"2024-01-03\n  Stocks 1\n  Eq -1\n",
       "Error at line 14: Inventory account needs a kind (accountName:kindName): Stocks"},
      {"2024-01-03\n  Cash:Wine 1@1\n  Eq -1\n",
       "Error at line 14: Kind not declared in the opening transaction: Cash:Wine"},
      {"2024-01-03\n  Cas 1\n  Eq -1\n",
       "Error at line 14: Account not present in the opening transaction: Cas"},
      {"2024-01-03\n  Stocks:Wine 2\n  Eq -1\n",
       "Error at line 14: Expected numItems@unitPrice: 2"},
  };
  for (const auto& c : cases) {
    const Ledger l = parsedLedger(opening + c.tail);
    EXPECT_EQ(l.errorText.substr(0, l.errorText.find('\n')), c.error) << c.tail;
    if (c.error.empty()) {
      ASSERT_EQ(l.transactions.size(), 4u);
      EXPECT_EQ(l.transactions[3].date, l.transactions[2].date);
      EXPECT_EQ(l.splits[l.splits.size() - 2].accountPos, 0);
    }
  }
}

// The report quotes a line of normal length whole and only the start of a longer one, cut
// between two characters, so that its size does not follow the size of a bad line.
TEST(ParseLedger, QuotesLongLinesOnlyInPart) {
  const std::string opening = "2024-01-01\n  Cash 10\n  Eq -10\n";
  const std::string date = "2024-01-02 ";
  const struct {
    std::string description;  // of the transaction whose split line is faulty
    std::string quoted;       // how the report quotes the description's line
  } cases[] = {
      {std::string(389, 'a'), date + std::string(389, 'a')},
      {std::string(390, 'a'), date + std::string(389, 'a') + " [... cut, 401 bytes in all]"},
      {std::string(388, 'a') + "\xc3\xa9", date + std::string(388, 'a') + " [... cut, 401 bytes in all]"},
      {std::string(1 << 20, 'a'), date + std::string(389, 'a') + " [... cut, 1048587 bytes in all]"},
  };
  for (const auto& c : cases) {
    const Ledger l = parsedLedger(opening + date + c.description + "\n  Nope 1\n  Eq -1\n");
    EXPECT_EQ(l.errorText,
              "Error at line 5: Account not present in the opening transaction: Nope\n\n"
              "  2 |   Cash 10\n  3 |   Eq -10\n  4 | " + c.quoted + "\n> 5 |   Nope 1\n"
              "  6 |   Eq -1\n  7 | \n\n")
        << c.description.size();
  }
  // A bad word quoted by the message is cut as well.
  const std::string word(1 << 20, 'x');
  const Ledger l = parsedLedger(opening + "2024-01-02\n  " + word + " 1\n  Eq -1\n");
  EXPECT_LT(l.errorText.size(), 2000u);
  EXPECT_TRUE(l.errorText.starts_with("Error at line 5: Account not present in the opening "
                                      "transaction: " + word.substr(0, 552) +
                                      " [... cut, 1048624 bytes in all]\n\n"))
      << l.errorText.substr(0, 100);
}

TEST(ParseLedger, CloseSkipsTheUnsetSplitOfItsTransaction) {
  const Ledger l = parsedLedger(
      "2024-01-01\n  Cash 10\n  Eq\n"
      "2024-01-02\n  Cash\n  Cash close\n  Eq 5\n");
  ASSERT_EQ(l.errorText, "");
  EXPECT_EQ(l.splits[3].money, -1000);  // the unset Cash line before it is not counted
  EXPECT_EQ(l.splits[2].money, 500);
  EXPECT_EQ(l.splits[3].balance, 1000 + 500 - 1000);
}

// The parse reads plain amounts itself; it must agree with parseMoneyMul on every word.
TEST(ParseLedger, ReadsAmountsAsParseMoneyMulDoes) {
  std::vector<std::string> words = {
      "0",
      "-0",
      "+0",
      "12",
      "12.",
      "12.5",
      "12.50",
      "-12.05",
      ".5",
      "-.05",
      ",5",
      "1,5",
      "1.5",
      "1_000",
      "1,234.56",
      "1.234,56",
      "-",
      "+",
      ".",
      "",
      "1.234",
      "1..2",
      "--1",
      "1-",
      "3*1.99",
      "999999999999999",
      "9999999999999999",
      "999999999999999.99",
      "92233720368547757.09",
      "+12.3",
      "0.001",
      "00012.10",
  };
  for (const char* a : {"", "-", "+"})
    for (const char* b : {"", "0", "7", "123"})
      for (const char* c : {"", ".", ",", ".1", ",12", ".123", ",1"})
        words.push_back(std::string(a) + b + c);
  Warnings warnings;
  for (const bool comma : {false, true}) {
    for (const std::string& w : words) {
      if (w.empty()) continue;
      std::string want;
      try {
        want = std::to_string(parseMoneyMul(w, comma, warnings));
      } catch (const Error& e) {
        want = e.message;
      }
      Ledger l;
      l.decimalComma = comma;
      const std::string text = "2024-01-01\n  a " + w + "\n  b\n";
      int64_t lineNr = 1;
      parseLedger(l, text, lineNr);
      const std::string got = l.errorText.empty()
                                  ? std::to_string(l.splits[0].money)
                                  : l.errorText.substr(17, l.errorText.find('\n') - 17);
      EXPECT_EQ(got, want) << w << (comma ? " (comma)" : "");
    }
  }
}

// A split's slot records, for comparing a parse with a literal replay.
struct Record {
  int64_t splitPos, kindPos;
  Items numItems;
  Money unitPrice;
  int64_t slotPos;
};
bool operator==(const Record& a, const Slot& b) {
  return a.splitPos == b.splitPos && a.kindPos == b.kindPos && a.numItems == b.numItems &&
         a.unitPrice == b.unitPrice && a.slotPos == b.slotPos;
}

TEST(ParseLedger, TradesMatchTheLiteralInventoryWalks) {
  std::mt19937_64 rng(11);
  constexpr int64_t kinds = 3;
  std::string text = "2020-01-01\n  Cash 1000000 ; @A\n  Stocks 0\n";
  for (int64_t k = 0; k < kinds; ++k) text += "  Stocks:K" + std::to_string(k) + " 10@3.33\n";
  text += "  Equity ; @C\n";
  // What each inventory line of the ledger asks, in order: 'a' add, 'r' remove, 'c' close@,
  // 'v' revalue@ (two splits), 'C' a close of Cash.
  struct Op {
    char type;
    int64_t kind;
    Items items;
    Money price;
  };
  std::vector<Op> ops;
  std::vector<Items> held(kinds, 1000);
  for (int64_t t = 0; t < 3000; ++t) {
    const int64_t k = int64_t(rng() % kinds);
    const std::string line = "  Stocks:K" + std::to_string(k) + " ";
    text += "2020-02-01 trade\n";
    const int64_t dice = int64_t(rng() % 20);
    if (dice < 10 || held[k] == 0) {
      const Items n = int64_t(rng() % 1000 + 1);
      const Money price = int64_t(rng() % 5000 + 1);
      text += line + moneyStr(n) + "@" + moneyStr(price) + "\n";
      ops.push_back({'a', k, n, price});
      held[k] += n;
    } else if (dice < 17) {
      const Items n = int64_t(rng() % uint64_t(held[k])) + 1;
      text += line + "-" + moneyStr(n) + "@\n";
      ops.push_back({'r', k, n, 0});
      held[k] -= n;
    } else if (dice < 18) {
      text += line + "close@\n";
      ops.push_back({'c', k, held[k], 0});
      held[k] = 0;
    } else if (dice < 19) {
      const Money price = int64_t(rng() % 5000 + 1);
      text += line + "revalue@" + moneyStr(price) + " ; new\n";
      ops.push_back({'v', k, held[k], price});
    } else {
      text += "  Cash close\n  Equity\n";
      continue;
    }
    text += "  Cash\n";
  }
  const Ledger l = parsedLedger(text);
  ASSERT_EQ(l.errorText, "");

  Slots literal;
  Warnings warnings;
  Money cash = 0;
  size_t op = 0;
  for (int64_t s = 0; s < std::ssize(l.splits); ++s) {
    const Split& split = l.splits[s];
    Money want = split.money;
    if (split.kindPos >= 0 && split.traPos == 0) {
      want = addItems(literal, s, split.kindPos, 1000, 333, warnings);
    } else if (split.kindPos >= 0) {
      ASSERT_LT(op, ops.size());
      const Op& o = ops[op++];
      ASSERT_EQ(split.kindPos, o.kind);
      if (o.type == 'a') want = addItems(literal, s, o.kind, o.items, o.price, warnings);
      if (o.type == 'r' || o.type == 'c') want = -removeItems(literal, s, o.kind, o.items);
      if (o.type == 'v') {
        const Items n = kindTotal(literal, o.kind, -1).items;
        EXPECT_EQ(n, o.items);
        EXPECT_EQ(split.money, -removeItems(literal, s, o.kind, n));
        ++s;
        want = addItems(literal, s, o.kind, n, o.price, warnings);
        EXPECT_EQ(splitComment(l, s), "Revalue: put all back with a new price new");
      }
      EXPECT_EQ(kindTotal(literal, o.kind, -1).items, kindTotal(l.slots, o.kind, s).items);
    } else if (split.accountPos == 0 && s > 0 && l.splits[s - 1].kindPos < 0 &&
               l.splits[s + 1].accountPos == 3 && l.splits[s + 1].traPos == split.traPos) {
      want = -cash;  // "Cash close": minus all earlier Cash amounts
    }
    EXPECT_EQ(l.splits[s].money, want) << "split " << s;
    if (l.splits[s].accountPos == 0) cash += l.splits[s].money;
  }
  EXPECT_EQ(op, ops.size());
  ASSERT_EQ(literal.size(), l.slots.size());
  for (size_t i = 0; i < literal.size(); ++i) {
    const Slot& a = literal[i];
    EXPECT_TRUE((Record{a.splitPos, a.kindPos, a.numItems, a.unitPrice, a.slotPos} == l.slots[i]))
        << "slot " << i;
  }
  for (int64_t s = 0; s < std::ssize(l.splits); ++s) {
    EXPECT_EQ(splitItems(l, s), itemsOfSplit(l.slots, s));
  }
}

// "close" and the missing amount against a literal replay: close is minus every earlier set
// amount of its account, the missing amount of its own transaction not yet among them.
TEST(ParseLedger, CloseAndMissingAmountsMatchTheLiteralSums) {
  std::mt19937_64 rng(5);
  constexpr int64_t accounts = 4;  // A0..A3, then Eq
  std::string text = "2020-01-01\n";
  // Per split line: its account and its amount; close and missing are marked.
  struct Line {
    int64_t account;
    Money money;
    char what;  // 'm' money, 'c' close, 'u' missing
  };
  std::vector<std::vector<Line>> tras(1);
  for (int64_t a = 0; a < accounts; ++a) {
    const Money m = int64_t(rng() % 20000) - 10000;
    text += "  A" + std::to_string(a) + " " + moneyStr(m) + "\n";
    tras[0].push_back({a, m, 'm'});
  }
  text += "  Eq\n";
  tras[0].push_back({accounts, 0, 'u'});
  for (int t = 0; t < 2000; ++t) {
    text += "2020-02-01\n";
    std::vector<Line>& tra = tras.emplace_back();
    const int64_t n = int64_t(rng() % 4) + 2;
    const int64_t missing = int64_t(rng() % uint64_t(n));
    for (int64_t i = 0; i < n; ++i) {
      const int64_t a = int64_t(rng() % (accounts + 1));
      const std::string name = a == accounts ? "Eq" : "A" + std::to_string(a);
      if (i == missing) {
        text += "  " + name + "\n";
        tra.push_back({a, 0, 'u'});
      } else if (rng() % 3 == 0) {
        text += "  " + name + " close\n";
        tra.push_back({a, 0, 'c'});
      } else {
        const Money m = int64_t(rng() % 20000) - 10000;
        text += "  " + name + " " + moneyStr(m) + "\n";
        tra.push_back({a, m, 'm'});
      }
    }
  }
  const Ledger l = parsedLedger(text);
  ASSERT_EQ(l.errorText, "");

  std::vector<Money> done(accounts + 1, 0);  // sums over finished transactions
  std::vector<int64_t> closing;               // the positions of the close lines
  int64_t s = 0;
  for (const std::vector<Line>& tra : tras) {
    std::vector<Money> want;
    std::vector<Money> open(accounts + 1, 0);  // set amounts of this transaction so far
    Money sum = 0;
    int64_t missingAt = -1;
    for (const Line& line : tra) {
      Money m = line.money;
      if (line.what == 'c') m = -(done[line.account] + open[line.account]);
      if (line.what == 'u') {
        missingAt = std::ssize(want);
      } else {
        open[line.account] += m;
        sum += m;
      }
      want.push_back(m);
    }
    ASSERT_GE(missingAt, 0);
    want[missingAt] = -sum;
    open[tra[missingAt].account] -= sum;
    for (int64_t a = 0; a <= accounts; ++a) done[a] += open[a];
    for (size_t i = 0; i < tra.size(); ++i, ++s) {
      ASSERT_LT(s, std::ssize(l.splits));
      EXPECT_EQ(l.splits[s].money, want[i]) << "split " << s;
      if (tra[i].what == 'c') closing.push_back(s);
    }
  }
  EXPECT_EQ(s, std::ssize(l.splits));
  EXPECT_EQ(l.closingSplits, closing);
}

}  // namespace
}  // namespace murex
