// tests/import_test.cpp: statements shaped like real ones, imported into a ledger; each
// output appended must read and move the statement's account by the new rows' sum, and a
// second import of the same statement must find nothing new.
#include "importer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "bankamount.h"
#include "encoding.h"
#include "ledger_text.h"
#include "raised.h"

namespace murex {
namespace {

constexpr std::string_view household =
    "2024-01-01 Opening\n"
    "    Bank 1_000 ; @A\n"
    "    Card 0 ; @L\n"
    "    Equity ; @C\n"
    "    Food 0 ; @E\n"
    "    Rent 0\n"
    "    Travel 0\n"
    "    Unsorted 0\n"
    "    Salary 0 ; @I\n"
    "2024-02-03 REWE Markt 1234\n"
    "    Food 20\n"
    "    Bank\n"
    "2024-02-10 Landlord\n"
    "    Rent 700\n"
    "    Bank\n"
    "2024-02-28 Coffee\n"
    "    Food 3.20\n"
    "    Bank\n"
    "2024-02-28 Coffee\n"
    "    Food 3.20\n"
    "    Bank\n";

struct Files {
  std::filesystem::path dir;
  Files() {
    char pattern[] = "/tmp/murex-import-XXXXXX";
    dir = mkdtemp(pattern);
  }
  ~Files() { std::filesystem::remove_all(dir); }
  std::string write(std::string_view name, std::string_view bytes) const {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
};

Ledger ledgerOf(std::string_view text, bool decimalComma, std::string_view dateFormat) {
  Ledger ledger;
  ledger.decimalComma = decimalComma;
  ledger.dateFormat = dateFormat;
  int64_t lineNr = 1;
  parseLedger(ledger, normalizeLedgerText(text), lineNr);
  return ledger;
}

Money balanceOf(const Ledger& ledger, std::string_view account) {
  for (int64_t pos = 0; pos < std::ssize(ledger.accounts); ++pos) {
    if (ledger.accounts[pos].name != account) continue;
    const auto& splits = ledger.accountSplits[size_t(pos)];
    return splits.empty() ? 0 : ledger.splits[size_t(splits.back())].balance;
  }
  return 0;
}

struct Imported {
  std::string text;
  std::string summary;
};

// The import as the command runs it, on files written in a fresh folder.
Imported importOnce(const Files& files, std::string_view ledgerText, bool decimalComma,
                    std::string_view dateFormat, std::string_view rules, std::string_view csv) {
  const Ledger ledger = ledgerOf(ledgerText, decimalComma, dateFormat);
  EXPECT_EQ(ledger.errorText, "");
  const std::string csvPath = files.write("statement.csv", csv);
  files.write("statement.csv.rules", rules);
  const ImportRules r = readImportRules(csvPath + ".rules", ledger);
  const Statement st = readStatement(csvPath, r);
  const ImportResult result = importStatement(ledger, normalizeLedgerText(ledgerText), r, st);
  return {result.text, importSummary(st, result)};
}

struct StatementCase {
  std::string_view name;
  std::string_view ledger = household;
  bool decimalComma = false;
  std::string_view dateFormat = "y-m-d";
  std::string_view rules;
  std::string_view csv;
  std::string_view want;
  Money change;  // of the statement's account
  std::string_view account = "Bank";
};

const StatementCase statementCases[] = {
    {.name = "semicolons, decimal comma, Latin-1, header names, newest first",
     .rules = "; a German bank\n"
              "[csv]\n"
              "separator = ;     ; the bank's\n"
              "skip = 3\n"
              "encoding = latin1\n"
              "date = Buchungstag\n"
              "dateFormat = d.m.y\n"
              "decimalSep = comma\n"
              "amount = Betrag (EUR)\n"
              "description = \"Empf\xC3\xA4nger\" Verwendungszweck\n"
              "[ledger]\n"
              "account = Bank\n"
              "unknown = Unsorted\n"
              "[match]\n"
              "rewe = Food\n",
     .csv = "Kontoauszug;Girokonto\r\n"
            "\r\n"
            "Buchungstag;Empf\xE4nger;Verwendungszweck;Betrag (EUR)\r\n"
            "04.03.2024;Caf\xE9 M\xFCller;Kuchen;-4,50 \x80\r\n"
            "04.03.2024;Stra\xDF" "enbahn;Ticket;-2,90\r\n"
            "02.03.2024;REWE SAGT DANKE;Einkauf 0815;-1.234,56\r\n"
            "01.03.2024;Landlord;M\xE4rz;-700,00\r\n"
            "\r\n",
     .want = "2024-03-01 Landlord März\n"
             "    Bank -700\n"
             "    Unsorted ; nothing decided\n"
             "2024-03-02 REWE SAGT DANKE Einkauf 0815\n"
             "    Bank -1_234.56\n"
             "    Food ; rule: rewe\n"
             "2024-03-04 Straßenbahn Ticket\n"
             "    Bank -2.90\n"
             "    Unsorted ; nothing decided\n"
             "2024-03-04 Café Müller Kuchen\n"
             "    Bank -4.50\n"
             "    Unsorted ; nothing decided\n",
     .change = -194196},
    {.name = "US dates with in and out columns, the ledger's lesson, a ledger in d.m.y",
     .ledger = "01.01.2024 Opening\n"
               "    Bank 1_000 ; @A\n"
               "    Equity ; @C\n"
               "    Food 0 ; @E\n"
               "    Salary 0 ; @I\n"
               "\n"
               "05.01.2024 ACME Payroll 01/24\n"
               "    Bank 2_000,50\n"
               "    Salary\n"
               "\n"
               "06.01.2024 Corner Deli #12\n"
               "    Bank -12,50\n"
               "    Food\n",
     .decimalComma = true,
     .dateFormat = "d.m.y",
     .rules = "[csv]\n"
              "skip = 1\n"
              "date = 1\n"
              "dateFormat = M/D/y\n"
              "decimalSep = dot\n"
              "in = Deposit\n"
              "out = Withdrawal\n"
              "description = Description\n"
              "[ledger]\n"
              "account = Bank\n"
              "unknown = Equity\n",
     .csv = "Date,Description,Withdrawal,Deposit,Balance\n"
            "2/1/2024,ACME PAYROLL 02/24,,\"$2,000.50\",\"3,988.00\"\n"
            "2/3/2024,CORNER DELI #7,$8.25,,\"3,979.75\"\n"
            "2/3/2024,Unknown shop,(1.00),,\"3,978.75\"",
     .want = "\n"
             "01.02.2024 ACME PAYROLL 02/24\n"
             "    Bank 2_000,50\n"
             "    Salary ; as in line 7\n"
             "\n"
             "03.02.2024 CORNER DELI #7\n"
             "    Bank -8,25\n"
             "    Food ; as in line 11\n"
             "\n"
             "03.02.2024 Unknown shop\n"
             "    Bank -1,00\n"
             "    Equity ; nothing decided\n",
     .change = 199125},
    {.name = "quoted descriptions with separators, quotes and line breaks; ids",
     .rules = "[csv]\n"
              "skip = 1\n"
              "date = Date\n"
              "amount = Amount\n"
              "description = Text\n"
              "id = Ref\n"
              "[ledger]\n"
              "account = Bank\n"
              "unknown = Unsorted\n"
              "[match]\n"
              "train ticket = Travel\n",
     .csv = "\xEF\xBB\xBF" "Date,Text,Amount,Ref\r\n"
            "2024-03-01,\"Ticket, train; \"\"Express\"\"\",-30.00,R1\r\n"
            "2024-03-02, \"Lunch\r\nwith   Anna\" ,-12.00,R 2\r\n"
            "2024-03-02,Refund,+5.00,\r\n",
     .want = "2024-03-01 Ticket, train;; \"Express\"\n"
             "    Bank -30 ; id:R1\n"
             "    Travel ; rule: train ticket\n"
             "2024-03-02 Lunch with Anna\n"
             "    Bank -12 ; id:R_2\n"
             "    Unsorted ; nothing decided\n"
             "2024-03-02 Refund\n"
             "    Bank 5\n"
             "    Unsorted ; nothing decided\n",
     .change = -3700},
    {.name = "a card statement listing charges as positive, with negate",
     .rules = "[csv]\n"
              "separator = tab\n"
              "date = 1\n"
              "amount = 3\n"
              "negate = yes\n"
              "description = 2\n"
              "[ledger]\n"
              "account = Card\n"
              "unknown = Unsorted\n",
     .csv = "2024-03-05\tHotel Lisboa\tEUR 240.00\n"
            "2024-03-06\tPayment, thank you\t-500.00\n",
     .want = "2024-03-05 Hotel Lisboa\n"
             "    Card -240\n"
             "    Unsorted ; nothing decided\n"
             "2024-03-06 Payment, thank you\n"
             "    Card 500\n"
             "    Unsorted ; nothing decided\n",
     .change = 26000,
     .account = "Card"},
};

TEST(ImportStatement, AppendedOutputReadsAndMovesTheAccountBySum) {
  for (const StatementCase& c : statementCases) {
    SCOPED_TRACE(c.name);
    const Files files;
    const Imported first =
        importOnce(files, c.ledger, c.decimalComma, c.dateFormat, c.rules, c.csv);
    EXPECT_EQ(first.text, c.want);
    const std::string appended = std::string(c.ledger) + first.text;
    const Ledger before = ledgerOf(c.ledger, c.decimalComma, c.dateFormat);
    const Ledger after = ledgerOf(appended, c.decimalComma, c.dateFormat);
    ASSERT_EQ(after.errorText, "");
    EXPECT_EQ(balanceOf(after, c.account) - balanceOf(before, c.account), c.change);
    const Imported again =
        importOnce(files, appended, c.decimalComma, c.dateFormat, c.rules, c.csv);
    EXPECT_NE(again.summary.find(": 0 new transactions;"), std::string::npos) << again.summary;
  }
}

constexpr std::string_view plainRules =
    "[csv]\n"
    "date = 1\n"
    "amount = 2\n"
    "description = 3\n"
    "[ledger]\n"
    "account = Bank\n"
    "unknown = Unsorted\n";

TEST(ImportStatement, LeavesOutDuplicatesOneToOneAndRowsOlderThanTheLedger) {
  const Files files;
  const Imported got = importOnce(files, household, false, "y-m-d", plainRules,
                                  "2024-02-03,-20,REWE\n"
                                  "2024-02-04,-2,Bakery\n"
                                  "2024-02-28,-3.20,Coffee\n"
                                  "2024-02-28,-3.20,Coffee\n"
                                  "2024-02-28,-3.20,Coffee\n");
  EXPECT_EQ(got.text,
            "; left out, a duplicate of line 10 of the ledger (the same date and amount):\n"
            "; 2024-02-03 REWE\n"
            ";     Bank -20\n"
            ";     Unsorted ; nothing decided\n"
            "; left out, older than the ledger's last transaction (2024-02-28):\n"
            "; 2024-02-04 Bakery\n"
            ";     Bank -2\n"
            ";     Unsorted ; nothing decided\n"
            "; left out, a duplicate of line 16 of the ledger (the same date and amount):\n"
            "; 2024-02-28 Coffee\n"
            ";     Bank -3.20\n"
            ";     Food ; as in line 19\n"
            "; left out, a duplicate of line 19 of the ledger (the same date and amount):\n"
            "; 2024-02-28 Coffee\n"
            ";     Bank -3.20\n"
            ";     Food ; as in line 19\n"
            "2024-02-28 Coffee\n"
            "    Bank -3.20\n"
            "    Food ; as in line 19\n");
  EXPECT_EQ(got.summary,
            files.dir.string() +
                "/statement.csv: 1 new transaction; left out: 3 duplicates, 1 older than the "
                "ledger's end");
}

TEST(ImportStatement, FindsRowsByIdAndNotTwiceByTheSameId) {
  const Files files;
  const std::string ledger = std::string(household) +
                             "2024-03-01 Train\n"
                             "    Bank -9 ; id:T1\n"
                             "    Travel\n";
  const std::string rules = std::string(plainRules).replace(0, 6, "[csv]\nid = 4\n");
  const Imported got = importOnce(files, ledger, false, "y-m-d", rules,
                                  "2024-02-28,-3.20,Coffee,C9\n"  // typed by hand before
                                  "2024-03-02,-9,Train,T1\n"  // booked a day later: still it
                                  "2024-03-02,-9,Train,T2\n");
  EXPECT_EQ(got.text,
            "; left out, a duplicate of line 16 of the ledger (the same date and amount):\n"
            "; 2024-02-28 Coffee\n"
            ";     Bank -3.20 ; id:C9\n"
            ";     Food ; as in line 19\n"
            "; left out, a duplicate of line 22 of the ledger (the same id):\n"
            "; 2024-03-02 Train\n"
            ";     Bank -9 ; id:T1\n"
            ";     Travel ; as in line 22\n"
            "2024-03-02 Train\n"
            "    Bank -9 ; id:T2\n"
            "    Travel ; as in line 22\n");
}

struct DecodeCase {
  std::string_view bytes;
  Encoding encoding;
  std::string want;  // the text, or the report raised
};

// The report of the byte at the start of `what` ("line 3: ... 0xE9") with its frame.
std::string notUtf8(std::string_view what, std::string_view frame) {
  return "Error in bank.csv at line " + std::string(what) +
         " (a Latin-1 or Windows-1252 statement needs encoding = latin1 in the rules)\n\n" +
         std::string(frame);
}

TEST(DecodeStatement, ChecksUtf8OrReadsWindows1252) {
  const DecodeCase cases[] = {
      {"a\r\nb\rc\n\r", Encoding::Utf8, "a\nb\nc\n\n"},
      {"\xEF\xBB\xBFx,\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xB0\n", Encoding::Utf8,
       "x,\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xB0\n"},
      {"M\xFCller \x80 \x81 \x9F\xFF\r\n", Encoding::Latin1,
       "M\xC3\xBCller \xE2\x82\xAC \xC2\x81 \xC5\xB8\xC3\xBF\n"},
      {"one\r\ntwo\nCaf\xE9 \xC3\xA9 \xC0\xAF\r\nnext\n", Encoding::Utf8,
       notUtf8(
           "3: Byte not UTF-8: 0xE9",
           "  1 | one\n  2 | two\n> 3 | Caf\xEF\xBF\xBD \xC3\xA9 \xEF\xBF\xBD\xEF\xBF\xBD\n\n")},
      {"\xE0\x80\x80 \xED\xA0\x80\n", Encoding::Utf8,  // overlong, surrogate
       notUtf8(
           "1: Byte not UTF-8: 0xE0",
           "> 1 | \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\n\n")},
      {"ok \xF4\x90\x80\x80\n", Encoding::Utf8,  // past U+10FFFF
       notUtf8("1: Byte not UTF-8: 0xF4",
               "> 1 | ok \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\n\n")},
      {"ok \xC3\xA9\xE2\x82", Encoding::Utf8,  // cut at the end
       notUtf8("1: Byte not UTF-8: 0xE2", "> 1 | ok \xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD\n\n")},
      {"\xEF\xBB\xBFx\xE9\n", Encoding::Latin1,
       "Error in bank.csv at line 1: The file starts with the UTF-8 byte order mark, but the "
       "rules say encoding = latin1\n\n> 1 | x\xEF\xBF\xBD\n\n"},
  };
  for (const DecodeCase& c : cases) {
    std::string got;
    const std::string raised =
        raisedMessage([&] { got = decodeStatement(c.bytes, c.encoding, "bank.csv"); });
    EXPECT_EQ(raised.empty() ? got : raised, c.want) << c.bytes;
  }
}

}  // namespace
}  // namespace murex
