// tests/ledger_corpus_test.cpp: every ledger under tests/ledgers parsed as the loader would.
// bad/<name>.ledger: <name>.expected is the whole errorText and the place of the error.
// good/<name>.ledger: <name>.expected is a dump of what the parse built, with its warnings and
// their places. MUREX_BLESS=1 writes the expected files instead (review the difference like
// code).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ledger_text.h"
#include "literal_ledger.h"
#include "ledgertext.h"
#include "parse.h"
#include "queries.h"
#include "token.h"

namespace murex {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<fs::path> ledgers(std::string_view folder) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(fs::path(MUREX_LEDGERS_DIR) / folder))
    if (e.path().extension() == ".ledger") out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

std::string inQuotes(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string placeText(TextPlace place) {
  return std::to_string(place.lineNr) + ":" + std::to_string(place.column);
}

// The report, where check says the error stands, and the warnings before it.
std::string errorDump(const Ledger& l) {
  std::string out = l.errorText;
  if (!out.ends_with('\n')) out += '\n';
  out += "at " + placeText(l.errorPlace) + ": " + l.errorMessage + "\n";
  for (const LedgerWarning& w : l.warnings)
    out += "warning at " + placeText(w.place) + ": " + w.message + "\n";
  return out;
}

std::string dump(const Ledger& l) {
  std::string out = "accounts " + std::to_string(l.accounts.size()) + "\n";
  for (size_t i = 0; i < l.accounts.size(); ++i) {
    const Account& a = l.accounts[i];
    const AccountType t = accountType(l.accounts, int64_t(i));
    out += "  " + accountPath(l.accounts, int64_t(i)).namePath + " indent " +
           std::to_string(a.indent) + " type " + t.own + "/" + t.effective + " " +
           inQuotes(a.description) + "\n";
  }
  out += "kinds " + std::to_string(l.kinds.size()) + "\n";
  for (const Kind& k : l.kinds)
    out +=
        "  " + l.accounts[k.accountPos].name + ":" + kindLabel(l.kinds, &k - l.kinds.data()) + "\n";
  out += "transactions " + std::to_string(l.transactions.size()) + "\n";
  for (int64_t s = 0; s < std::ssize(l.splits); ++s) {
    const Split& sp = l.splits[s];
    if (s == 0 || l.splits[s - 1].traPos != sp.traPos) {
      const Transaction& t = l.transactions[sp.traPos];
      out += std::to_string(t.date) + " " + inQuotes(transactionDescription(l, t)) + "\n";
    }
    out += "  " + l.accounts[sp.accountPos].name;
    if (sp.kindPos >= 0) out += ":" + l.kinds[sp.kindPos].name;
    out += " " + moneyStr(sp.money) + " balance " + moneyStr(sp.balance);
    if (splitSlots(l, s).first < splitSlots(l, s).second)
      out += " items " + moneyStr(splitItems(l, s));
    const std::string_view comment = splitComment(l, s);
    if (!comment.empty()) out += " " + inQuotes(comment);
    out += "\n";
  }
  out += "slots " + std::to_string(l.slots.size()) + "\n";
  for (const Slot& sl : l.slots)
    out += "  split " + std::to_string(sl.splitPos) + " kind " + std::to_string(sl.kindPos) + " " +
           moneyStr(sl.numItems) + "@" + moneyStr(sl.unitPrice) + " slot " +
           std::to_string(sl.slotPos) + "\n";
  for (int64_t k = 0; k < std::ssize(l.kinds); ++k) {
    const Holding h = kindTotal(l.slots, k, -1);
    out += "  holding " + l.kinds[k].name + " " + moneyStr(h.items) + " worth " +
           moneyStr(h.money) + "\n";
  }
  out += std::string("moneyWhole ") + (l.moneyWhole ? "yes" : "no") + " itemsWhole " +
         (l.itemsWhole ? "yes" : "no") + "\n";
  if (!l.warnings.empty()) out += "warnings:\n";
  for (const LedgerWarning& w : l.warnings) out += placeText(w.place) + " " + w.message + "\n";
  return out;
}

void check(const fs::path& ledgerPath, const std::string& got) {
  fs::path expectedPath = ledgerPath;
  expectedPath.replace_extension(".expected");
  const char* bless = std::getenv("MUREX_BLESS");
  if (bless != nullptr && std::string_view(bless) == "1") {
    std::ofstream(expectedPath, std::ios::binary) << got;
    return;
  }
  ASSERT_TRUE(fs::exists(expectedPath)) << expectedPath;
  EXPECT_EQ(got, readFile(expectedPath)) << ledgerPath;
}

TEST(LedgerCorpus, FaultyLedgersGiveTheirFramedReport) {
  const std::vector<fs::path> files = ledgers("bad");
  EXPECT_GE(files.size(), 40u);
  for (const fs::path& file : files) {
    const Ledger l = parsedLedger(readFile(file));
    EXPECT_FALSE(l.errorText.empty()) << file;
    check(file, errorDump(l));
    for (size_t block : {1, 3, 16}) {
      const Ledger pieces = parsedInPieces(readFile(file), block);
      EXPECT_EQ(errorDump(pieces), errorDump(l)) << file << " read in blocks of " << block;
    }
  }
}

TEST(LedgerCorpus, ValidLedgersBuildWhatTheirDumpShows) {
  const std::vector<fs::path> files = ledgers("good");
  EXPECT_GE(files.size(), 5u);
  for (const fs::path& file : files) {
    const Ledger l = parsedLedger(readFile(file));
    ASSERT_EQ(l.errorText, "") << file;
    check(file, dump(l));
    for (size_t block : {1, 3, 16}) {
      const Ledger pieces = parsedInPieces(readFile(file), block);
      EXPECT_EQ(dump(pieces), dump(l)) << file << " read in blocks of " << block;
    }
  }
}

// Read in pieces, lines longer than a piece, long runs of blanks and a word of 300,000 bytes
// give the same ledger as the text parsed whole.
TEST(LedgerCorpus, LongLinesAndBlankRunsReadInPieces) {
  const std::string blanks(70000, ' ');
  const std::string opening = "2024-01-01 Open\n  Cash 10\n  Food 0\n  Eq -10\n";
  const std::string cases[] = {
      opening + "2024-01-02 Lunch\n" + blanks + "Cash -5\n  Food 5\n",
      opening + "2024-01-02 Lunch\n  Cash" + blanks + "-5\n  Food 5 ;" + blanks + "x\n",
      opening + "2024-01-02 " + std::string(300000, 'w') + "\n  Cash -5\n  Food 5\n",
      opening + "2024-01-02 Lunch\n" + blanks + "Cash -5\n  Food 4\n",
  };
  for (const std::string& text : cases) {
    const Ledger whole = parsedLedger(text);
    for (size_t block : {4096, 65536}) {
      const Ledger pieces = parsedInPieces(text, block);
      EXPECT_EQ(pieces.errorText, whole.errorText);
      EXPECT_EQ(dump(pieces), dump(whole));
    }
  }
}

// Read in blocks of each size, text gives the ledger parsed whole, which is valid or not.
void expectSameInPieces(const std::string& text, bool valid, std::initializer_list<size_t> blocks) {
  const Ledger whole = parsedLedger(text);
  std::vector<Ledger> pieces;
  for (size_t block : blocks) pieces.push_back(parsedInPieces(text, block));
  EXPECT_EQ(whole.errorText.empty(), valid) << text << whole.errorText;
  for (const Ledger& l : pieces) {
    EXPECT_EQ(errorDump(l), errorDump(whole)) << text;
    EXPECT_EQ(dump(l), dump(whole)) << text;
  }
}

// A description, and after the opening transaction a comment, is taken as one run of words;
// whatever blanks, semicolons and "@" words they hold, the ledger is the one parsed whole.
TEST(LedgerCorpus, RunsOfWordsReadInPieces) {
  const std::string opening = "2024-01-01 Open ; x\n  Cash 10 ; @A\n  Food 0\n  Eq -10\n";
  const struct {
    std::string rest;
    bool valid;
  } cases[] = {
      {"2024-01-02 \tLunch  at\tthe   park \t \n  Cash -5\n  Food 5\n", true},
      {"2024-01-02 Lunch ; @A no tag ; two ;\n  Cash -5 ; a  b ;c;  d \n  Food 5 ;\n", true},
      {"2024-01-02 Lunch\n  Cash -5 ; a ;; b ; c\n  Food 5 ;  \t\n", true},
      {"2024-01-02 ;\n  Cash -5\n  Food 5 ; @X at the end", true},
      {"2024-01-02 Lunch\n  Cash -5\n  Food 5 ; tag @L\n2024-01-02 ; only\n  Cash 1\n  Food -1",
       true},
      {"2024-01-02 Lunch\n  Cash -5\n  Food 4 ; off by one\n", false},
  };
  for (const auto& c : cases) expectSameInPieces(opening + c.rest, c.valid, {1, 7, 64, 4096});
}

// An account word keeps the meaning it had the first time, found by its hash of eight bytes
// at a time: names alike in their first bytes, of every length up to and past 16, and split
// lines without an amount, dated like the line before or not, read as parsed whole.
TEST(LedgerCorpus, AccountWordsAndDatesReadInPieces) {
  const std::string names[] = {"A",
                               "Abcdefg",
                               "Abcdefgh",
                               "Abcdefgi",
                               "Abcdefghijklmno",
                               "Abcdefghijklmnop",
                               "Abcdefghijklmnoq",
                               "Abcdefghijklmnopq",
                               "Abcdefghijklmnopr"};
  std::string opening = "2024-01-01 Open\n";
  for (const std::string& name : names) opening += "  " + name + " 0\n";
  const struct {
    std::string rest;
    bool valid;
  } cases[] = {
      {"2024-01-02 a\n  Abcdefghijklmnopq 5\n  Abcdefghijklmnopr\n"
       "2024-01-02 b\n  Abcdefgh -1.5\n  Abcdefgi 1.50 ; x\n"
       "2024-01-03 c\n  Abcdefghijklmnop 2\n  Abcdefghijklmnoq -2\n  A ; none\n",
       true},
      {"2024-01-03 a\n  A 1\n  Abcdefg\n2024-01-03 b\n  A 1\n  Abcdefg\n"
       "2024-01-02 c\n  A 1\n  Abcdefg\n",
       false},
      {"2024-01-02 a\n  A 1\n  Abcdefg\n2024-01-03 b\n  Abcdefghijklmnopqr 1\n  A -1\n", false},
  };
  for (const auto& c : cases) expectSameInPieces(opening + c.rest, c.valid, {1, 5, 16, 33, 4096});
}

// The same ledger with other line ends parses to the same dump.
TEST(LedgerCorpus, LineEndsDoNotMatter) {
  const std::string lf = readFile(fs::path(MUREX_LEDGERS_DIR) / "good" / "features.ledger");
  ASSERT_FALSE(lf.empty());
  const Ledger want = parsedLedger(lf);
  for (std::string_view end : {"\r\n", "\r", "\r\r\n"}) {
    std::string other;
    for (char c : lf) {
      if (c == '\n') {
        other += end;
      } else {
        other += c;
      }
    }
    const Ledger got = parsedLedger(other);
    EXPECT_EQ(dump(got), dump(want));
  }
}

}  // namespace
}  // namespace murex
