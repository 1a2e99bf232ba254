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
#include "csv.h"
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

struct BankAmountCase {
  std::string_view cell;
  bool decimalComma = false;
  Money want = 0;
  std::string_view problem = "";  // with $1 for the cell
};

TEST(ReadBankAmount, ReadsTheShapesBanksPrintAndRefusesTheRest) {
  const std::string_view wrong = "Amount wrong: '$1'";
  const std::string_view mark =
      "Amount wrong: '$1' (debit and credit marks are not read: set negate, or use the in and "
      "out columns)";
  const std::string_view decimals = "Only two decimals allowed after the decimal separator: '$1'";
  const std::string_view tooBig = "Amount too big: '$1'";
  const BankAmountCase cases[] = {
      {"12.50", false, 1250},
      {"-12.50", false, -1250},
      {"12.50-", false, -1250},
      {"+12.50", false, 1250},
      {"(12.50)", false, -1250},
      {"\xE2\x88\x92" "12,50", true, -1250},  // the typographic minus
      {"1.234,56", true, 123456},
      {"1,234.56", false, 123456},
      {"1 234,56", true, 123456},
      {"1\xC2\xA0" "234,56", true, 123456},
      {"1\xE2\x80\xAF" "234,56", true, 123456},
      {"1'234.56", false, 123456},
      {"12,345,678", false, 1234567800},
      {"\xE2\x82\xAC 12,50", true, 1250},
      {"12,50 \xE2\x82\xAC", true, 1250},
      {"-12.50 USD", false, -1250},
      {"USD -12.50", false, -1250},
      {"-$8.25", false, -825},
      {"($1,000.00)", false, -100000},
      {"EUR 240", false, 24000},
      {".5", false, 50},
      {"7.", false, 700},
      {"0,05", true, 5},
      {"-92233720368547757.09", false, -9'223'372'036'854'775'709},
      {"1.234", false, 0, decimals},
      {"1,234", true, 0, decimals},
      {"", false, 0, wrong},
      {"-", false, 0, wrong},
      {"EUR", false, 0, wrong},
      {".", false, 0, wrong},
      {"1.2.3", false, 0, wrong},
      {"1,23,456.00", false, 0, wrong},
      {",5", false, 0, wrong},
      {"1e5", false, 0, wrong},
      {"--5", false, 0, wrong},
      {"-(5)", false, 0, wrong},
      {"(5", false, 0, wrong},
      {"+5-", false, 0, wrong},
      {"EUR 5 USD 6", false, 0, wrong},
      {"12.50 CR", false, 0, mark},
      {"S 12,50", true, 0, mark},
      {"92233720368547757.10", false, 0, tooBig},
      {"92233720368547758.08", false, 0, tooBig},
      {"99999999999999999999", false, 0, tooBig},
  };
  for (const BankAmountCase& c : cases) {
    SCOPED_TRACE(c.cell);
    Money got = -1;
    EXPECT_EQ(readBankAmount(c.cell, c.decimalComma, got), c.problem);
    if (c.problem.empty()) {
      EXPECT_EQ(got, c.want);
    }
  }
}

struct CsvCase {
  std::string_view bytes;
  std::vector<std::string> want;  // each record: its line, ":", its fields joined by "|"
  char separator = ',';
};

// The records of a statement's bytes, as the import reads them: decoded, then split.
TEST(CsvReader, ReadsRecordsAsBanksWriteThem) {
  const CsvCase cases[] = {
      {"a,b\nc,d\n", {"1:a|b", "2:c|d"}},
      {"a,b\r\nc,d\r\n", {"1:a|b", "2:c|d"}},
      {"a,b\rc,d", {"1:a|b", "2:c|d"}},
      {"a,b\nc,d", {"1:a|b", "2:c|d"}},
      {"\xEF\xBB\xBF" "a,b\n", {"1:a|b"}},
      {"a,b\n\n\r\n \n,,\n", {"1:a|b"}},
      {"\na,b\n\nc\n", {"2:a|b", "4:c"}},
      {"a,,b,\n", {"1:a||b|"}},
      {"\"x,y\",z\n", {"1:x,y|z"}},
      {"\"say \"\"hi\"\"\",\"\"\n", {"1:say \"hi\"|"}},
      {"\"two\r\nlines\",z\nnext,w\n", {"1:two\nlines|z", "3:next|w"}},
      {" \"a\" ,b\n", {"1:a|b"}},
      {"\"a\"b,c\n", {"1:ab|c"}},
      {"a\"b,c\n", {"1:a\"b|c"}},
      {"a;b,c;\"d;e\"", {"1:a|b,c|d;e"}, ';'},
      {"a\t b\t\"c\"\n", {"1:a| b|c"}, '\t'},
  };
  for (const CsvCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    const std::string text = decodeStatement(c.bytes, Encoding::Utf8, "s.csv", "");
    CsvReader reader(text, c.separator, "s.csv");
    CsvRecord record;
    std::vector<std::string> got;
    while (reader.next(record)) {
      std::string shown = std::to_string(record.lineNr) + ":";
      for (size_t k = 0; k < record.fields.size(); ++k)
        shown += (k > 0 ? "|" : "") + record.fields[k];
      got.push_back(shown);
    }
    EXPECT_EQ(got, c.want);
  }
}

constexpr std::string_view headerRules =
    "[csv]\n"
    "skip = 1\n"
    "date = Date\n"
    "amount = Amount\n"
    "description = Text\n"
    "[ledger]\n"
    "account = Bank\n"
    "unknown = Unsorted\n";

constexpr std::string_view inOutRules =
    "[csv]\n"
    "date = 1\n"
    "in = 2\n"
    "out = 3\n"
    "description = 4\n"
    "[ledger]\n"
    "account = Bank\n"
    "unknown = Unsorted\n";

struct ImportErrorCase {
  std::string_view rules;
  std::string_view csv;
  std::string_view want;  // the report's first line, the folder left out of the file name
  std::string_view ledger = household;
};

// Each fault of a rules file or a statement stops the import with a report naming the file,
// the line and what is wrong.
TEST(ImportStatement, StopsAtTheFirstFaultOfTheRulesOrTheStatement) {
  const std::string latin1Rules = "[csv]\nencoding = latin1\n" + std::string(plainRules.substr(6));
  const std::string matchingItself = std::string(plainRules) + "[match]\natm = Bank\n";
  const ImportErrorCase cases[] = {
      {"[csv]\ndate 1\n", "",
       "Error in statement.csv.rules at line 2: Line wrong: neither a [section], a key = value "
       "nor a ; comment"},
      {"[csv]\n = 1\n", "",
       "Error in statement.csv.rules at line 2: Line wrong: neither a [section], a key = value "
       "nor a ; comment"},
      {"; a bank\n[bank]\n", "",
       "Error in statement.csv.rules at line 2: Section unknown: [bank] (one of [csv], "
       "[ledger], [match])"},
      {"date = 1\n", "",
       "Error in statement.csv.rules at line 1: Setting before the first [section]"},
      {"[csv]\nseparator = ab\n", "",
       "Error in statement.csv.rules at line 2: Value wrong for separator: 'ab' (one "
       "character, or the word tab)"},
      {"[csv]\nseparator = \"\n", "",
       "Error in statement.csv.rules at line 2: Value wrong for separator: '\"' (one "
       "character, or the word tab)"},
      {"[csv]\nencoding = cp1252\n", "",
       "Error in statement.csv.rules at line 2: Value wrong for encoding: 'cp1252' (utf-8 or "
       "latin1)"},
      {"[csv]\nskip = -1\n", "",
       "Error in statement.csv.rules at line 2: Value wrong for skip: '-1' (a number of lines)"},
      {"[csv]\ndateFormat = dd.mm\n", "",
       "Error in statement.csv.rules at line 2: Value wrong for dateFormat: 'dd.mm' (a date "
       "format such as d.m.y)"},
      {"[csv]\ndecimalSep = ,\n", "",
       "Error in statement.csv.rules at line 2: Value wrong for decimalSep: ',' (dot or comma)"},
      {"[csv]\nnegate = true\n", "",
       "Error in statement.csv.rules at line 2: Value wrong for negate: 'true' (yes or no)"},
      {"[csv]\ndate = 0\n", "",
       "Error in statement.csv.rules at line 2: Columns are counted from 1: 0"},
      {"[csv]\ndate = \"\"\n", "", "Error in statement.csv.rules at line 2: Column missing"},
      {"[csv]\ndescription = Payee \"Purpose\n", "",
       "Error in statement.csv.rules at line 2: Quote not closed"},
      {"[csv]\ndate =\n", "", "Error in statement.csv.rules at line 2: Value missing for date"},
      {"[csv]\ndate = 1\ndate = 2\n", "",
       "Error in statement.csv.rules at line 3: Key given twice: date (first at line 2)"},
      {"[csv]\ndatum = 1\n", "",
       "Error in statement.csv.rules at line 2: Key unknown in [csv]: datum"},
      {"[ledger]\nbank = Bank\n", "",
       "Error in statement.csv.rules at line 2: Key unknown in [ledger]: bank"},
      {"[ledger]\naccount = Bnak\n", "",
       "Error in statement.csv.rules at line 2: Account not declared in the ledger: Bnak"},
      {"[match]\nrewe = Groceries\n", "",
       "Error in statement.csv.rules at line 2: Account not declared in the ledger: Groceries"},
      {"[ledger]\naccount = Fund\n", "",
       "Error in statement.csv.rules at line 2: Inventory account needs a kind, it cannot take "
       "a statement's amount: Fund",
       "2024-01-01 Opening\n"
       "    Bank 0 ; @A\n"
       "    Fund 0\n"
       "    Fund:WORLD 0@\n"
       "    Equity ; @C\n"},
      {"[csv]\n; K\xE4se\n", "",
       "Error in statement.csv.rules at line 2: Byte not UTF-8: 0xE4 (the rules file is read as "
       "UTF-8)"},
      {"[csv]\namount = 2\ndescription = 3\n[ledger]\naccount = Bank\nunknown = Unsorted\n", "",
       "Error in statement.csv.rules at line 1: Key missing: date in [csv]"},
      {"[ledger]\naccount = Bank\nunknown = Unsorted\n", "",
       "Error in statement.csv.rules at line 4: Key missing: date in [csv]"},
      {"", "", "Error in statement.csv.rules at line 1: Key missing: date in [csv]"},
      {"; no line end", "", "Error in statement.csv.rules at line 1: Key missing: date in [csv]"},
      {"[csv]\ndate = 1\ndescription = 3\n", "",
       "Error in statement.csv.rules at line 1: Key missing: amount (or in and out) in [csv]"},
      {"[csv]\ndate = 1\namount = 2\nin = 3\ndescription = 4\n", "",
       "Error in statement.csv.rules at line 4: amount, or in and out: not both"},
      {"[csv]\ndate = 1\nin = 3\ndescription = 4\n", "",
       "Error in statement.csv.rules at line 1: Key missing: out in [csv], beside in"},
      {"[csv]\ndate = 1\namount = 2\ndescription = 3\n[ledger]\nunknown = Unsorted\n", "",
       "Error in statement.csv.rules at line 5: Key missing: account in [ledger]"},
      {"[csv]\ndate = 1\namount = 2\ndescription = 3\n[ledger]\naccount = Bank\n", "",
       "Error in statement.csv.rules at line 5: Key missing: unknown in [ledger]"},
      {"[csv]\ndate = 1\namount = 2\ndescription = 3\n[ledger]\naccount = Bank\nunknown = Bank\n",
       "",
       "Error in statement.csv.rules at line 7: The statement's account cannot be its own "
       "counter-account: Bank"},
      {matchingItself, "",
       "Error in statement.csv.rules at line 9: The statement's account cannot be its own "
       "counter-account: Bank"},
      {"[csv]\ndate = 1\namount = Amount\ndescription = 3\n[ledger]\naccount = Bank\n"
       "unknown = Unsorted\n",
       "",
       "Error in statement.csv.rules at line 3: Column named by its header, but there is no "
       "header line (skip = 0): Amount"},
      {headerRules, "Date,Betrag,Text\n2024-03-01,-1,x\n",
       "Error in statement.csv at line 1: Column not in the header line: 'Amount'"},
      {plainRules, "2024-03-01,-1,ok\n2024-03-02,-1\n",
       "Error in statement.csv at line 2: Column missing: the record has 2 fields, the rules "
       "read column 3"},
      {"[csv]\ndate = 1\namount = 2\ndescription = 3 1000000000000\n[ledger]\naccount = Bank\n"
       "unknown = Unsorted\n",
       "2024-03-01,-1,x\n",
       "Error in statement.csv at line 1: Column missing: the record has 3 fields, the rules "
       "read column 1000000000000"},
      {headerRules, "Date,Amount,Text\n2024-03-01,-1\n",
       "Error in statement.csv at line 2: Column missing: the record has 2 fields, the rules "
       "read column 3 (Text)"},
      {plainRules, "2024-03-01,-1,ok\n2024-03-02,-1,K\xE4se\n",
       "Error in statement.csv at line 2: Byte not UTF-8: 0xE4 (a Latin-1 or Windows-1252 "
       "statement needs encoding = latin1 in the rules)"},
      {plainRules, "2024-03-01,-1,\xF0\x9F\x98\n",
       "Error in statement.csv at line 1: Byte not UTF-8: 0xF0 (a Latin-1 or Windows-1252 "
       "statement needs encoding = latin1 in the rules)"},
      {latin1Rules, "\xEF\xBB\xBF" "2024-03-01,-1,x\n",
       "Error in statement.csv at line 1: The file starts with the UTF-8 byte order mark, but "
       "the rules say encoding = latin1"},
      {plainRules, "2024-03-01,-1,ok\n2024-03-02,-1,\"open\n\nmore\n",
       "Error in statement.csv at line 2: Quote not closed: the field runs to the end of the "
       "file"},
      {plainRules, "2024/03/01,-1,x\n",
       "Error in statement.csv at line 1: Date wrong: '2024/03/01' (format y-m-d)"},
      {plainRules, "01.03.2024,-1,x\n",
       "Error in statement.csv at line 1: Date wrong: '01.03.2024' (year wrong)"},
      {plainRules, "2024-03-01x,-1,x\n",
       "Error in statement.csv at line 1: Date wrong: '2024-03-01x' (format y-m-d)"},
      {plainRules, "2024-02-30,-1,x\n",
       "Error in statement.csv at line 1: Date wrong: '2024-02-30' (day wrong)"},
      {plainRules, ",-1,x\n", "Error in statement.csv at line 1: Date wrong: '' (format y-m-d)"},
      {plainRules, "2024-03-01,-1.234,x\n",
       "Error in statement.csv at line 1: Only two decimals allowed after the decimal "
       "separator: '-1.234'"},
      {plainRules, "2024-03-01, USD ,x\n", "Error in statement.csv at line 1: Amount wrong: 'USD'"},
      {plainRules, "2024-03-01,92233720368547758.08,x\n",
       "Error in statement.csv at line 1: Amount too big: '92233720368547758.08'"},
      {inOutRules, "2024-03-01,,,x\n",
       "Error in statement.csv at line 1: Amount missing: the in and the out column are both "
       "empty"},
      {inOutRules, "2024-03-01,,1.2.3,x\n",
       "Error in statement.csv at line 1: Amount wrong: '1.2.3'"},
      {plainRules, "2024-03-01,92233720368547757.00,x\n2024-03-02,92233720368547757.00,x\n",
       "Error in statement.csv at line 2: Sum of the statement's amounts too big",
       "2024-01-01 Opening\n"
       "    Bank -92_233_720_368_547_757 ; @A\n"
       "    Unsorted 0 ; @E\n"
       "    Equity ; @C\n"},
      {plainRules, "2024-03-01,-1,x\n2024-03-02,92233720368547757.00,x\n",
       "Error in statement.csv at line 2: Balance too big with this row: Bank"},
      {plainRules, "2024-03-01,-92233720368547757.00,x\n",
       "Error in statement.csv at line 1: Balance too big with this row: Unsorted",
       "2024-01-01 Opening\n"
       "    Bank 0 ; @A\n"
       "    Unsorted 1_000 ; @E\n"
       "    Equity ; @C\n"},
  };
  for (const ImportErrorCase& c : cases) {
    SCOPED_TRACE(c.rules);
    SCOPED_TRACE(c.csv);
    const Files files;
    const Ledger ledger = ledgerOf(c.ledger, false, "y-m-d");
    ASSERT_EQ(ledger.errorText, "");
    const std::string csvPath = files.write("statement.csv", c.csv);
    files.write("statement.csv.rules", c.rules);
    std::string got = raisedMessage([&] {
      const ImportRules rules = readImportRules(csvPath + ".rules", ledger);
      const Statement st = readStatement(csvPath, rules);
      importStatement(ledger, normalizeLedgerText(c.ledger), rules, st);
    });
    const std::string folder = files.dir.string() + "/";
    if (got.starts_with("Error in " + folder)) got.erase(9, folder.size());
    EXPECT_EQ(got.substr(0, got.find('\n')), c.want);
  }
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
  const std::string_view advice =
      "a Latin-1 or Windows-1252 statement needs encoding = latin1 in the rules";
  const DecodeCase cases[] = {
      {"a\r\nb\rc\n\r", Encoding::Utf8, "a\nb\nc\n\n"},
      {"\xEF\xBB\xBFx,\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xB0\n", Encoding::Utf8,
       "x,\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xB0\n"},
      {"M\xFCller \x80 \x81 \x9F\xFF\r\n", Encoding::Latin1,
       "M\xC3\xBCller \xE2\x82\xAC \xC2\x81 \xC5\xB8\xC3\xBF\n"},
      {"one\r\ntwo\nCaf\xE9 \xC3\xA9 \xC0\xAF\r\nnext\n", Encoding::Utf8,
       notUtf8(
           "3: Byte not UTF-8: 0xE9",
           "  1 | one\n  2 | two\n> 3 | Caf\xEF\xBF\xBD \xC3\xA9 \xEF\xBF\xBD\xEF\xBF\xBD\n"
           "  4 | next\n  5 | \n\n")},
      {"\xE0\x80\x80 \xED\xA0\x80\n", Encoding::Utf8,  // overlong, surrogate
       notUtf8(
           "1: Byte not UTF-8: 0xE0",
           "> 1 | \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\n"
           "  2 | \n\n")},
      {"ok \xF4\x90\x80\x80\n", Encoding::Utf8,  // past U+10FFFF
       notUtf8("1: Byte not UTF-8: 0xF4",
               "> 1 | ok \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\n  2 | \n\n")},
      {"ok \xC3\xA9\xE2\x82", Encoding::Utf8,  // cut at the end
       notUtf8("1: Byte not UTF-8: 0xE2", "> 1 | ok \xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD\n\n")},
      {"\xEF\xBB\xBFx\xE9\n", Encoding::Latin1,
       "Error in bank.csv at line 1: The file starts with the UTF-8 byte order mark, but the "
       "rules say encoding = latin1\n\n> 1 | x\xEF\xBF\xBD\n  2 | \n\n"},
  };
  for (const DecodeCase& c : cases) {
    std::string got;
    const std::string raised =
        raisedMessage([&] { got = decodeStatement(c.bytes, c.encoding, "bank.csv", advice); });
    EXPECT_EQ(raised.empty() ? got : raised, c.want) << c.bytes;
  }
}

}  // namespace
}  // namespace murex
