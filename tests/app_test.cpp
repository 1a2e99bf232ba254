// tests/app_test.cpp: reading the ledger file, the period range and change detection.
#include "app.h"
#include "error.h"
#include "loader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ledger_text.h"

namespace murex {
namespace {

struct NormalizeCase {
  std::string_view raw;
  std::string_view want;
};

TEST(NormalizeLedgerText, EndsEveryLineInOneLineFeedAndFoldsSemicolonPairs) {
  const NormalizeCase cases[] = {
      {"a\r\nb\r\n", "a\nb\n"}, {"a\rb\r", "a\nb\n"},
      {"a\r\r\nb", "a\nb"},     {"a\r\r\r\nb", "a\n\nb"},
      {"a\n\rb", "a\n\nb"},     {"x ;; y", "x \f y"},
      {";;;", "\f;"},           {";;;;", "\f\f"},
      {"a;\r\n;b", "a;\n;b"},   {"\r", "\n"},
      {"\r\r", "\n\n"},         {"", ""},
      {"ab;c;;d\re;", "ab;c\fd\ne;"}, {"\r;;\r\n;", "\n\f\n;"},
  };
  for (const NormalizeCase& c : cases)
    EXPECT_EQ(normalizeLedgerText(c.raw), c.want) << "raw: " << testing::PrintToString(c.raw);
}

// The rules applied one position at a time, as the reference for the run-wise loader.
std::string normalizeSlowly(std::string_view raw) {
  std::string out;
  for (size_t i = 0; i < raw.size();) {
    if (raw.substr(i, 3) == "\r\r\n") {
      out += '\n';
      i += 3;
    } else if (raw.substr(i, 2) == "\r\n") {
      out += '\n';
      i += 2;
    } else if (raw[i] == '\r') {
      out += '\n';
      i += 1;
    } else if (raw.substr(i, 2) == ";;") {
      out += '\f';
      i += 2;
    } else {
      out += raw[i++];
    }
  }
  return out;
}

// Every text of up to seven letters, line ends and semicolons.
template <typename F>
void everyShortMix(F check) {
  const std::string_view alphabet = "a;\r\n";
  for (int length = 0; length <= 7; ++length) {
    int64_t count = 1;
    for (int k = 0; k < length; ++k) count *= 4;
    for (int64_t code = 0; code < count; ++code) {
      std::string raw;
      for (int64_t c = code, k = 0; k < length; ++k, c /= 4) raw += alphabet[c % 4];
      check(raw);
    }
  }
}

TEST(NormalizeLedgerText, AgreesWithTheRulesOnEveryShortMixOfLineEndsAndSemicolons) {
  everyShortMix([](const std::string& raw) {
    ASSERT_EQ(normalizeLedgerText(raw), normalizeSlowly(raw))
        << "raw: " << testing::PrintToString(raw);
  });
}

// Read in blocks as small as one byte, the pieces end at line feeds and add up to the text
// normalised at once: no pair of the rules is torn apart at a block's end.
TEST(LedgerReader, PiecesAreWholeLinesOfTheNormalisedText) {
  for (size_t block : {1, 2, 3}) {
    everyShortMix([block](const std::string& raw) {
      const int fd = memoryFile(raw);
      ASSERT_GE(fd, 0);
      LedgerReader reader(fd, block);
      std::string piece;
      std::string all;
      bool last = false;
      while (reader.next(piece)) {
        ASSERT_FALSE(last) << "a piece without a line feed before others";
        last = piece.empty() || piece.back() != '\n';
        all += piece;
      }
      close(fd);
      EXPECT_FALSE(reader.failed());
      ASSERT_EQ(all, normalizeSlowly(raw)) << "raw: " << testing::PrintToString(raw);
    });
  }
}

TEST(LedgerReader, AFailedReadEndsThePiecesAndIsReported) {
  const int fd = open(testing::TempDir().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  LedgerReader reader(fd);
  std::string piece;
  EXPECT_FALSE(reader.next(piece));
  EXPECT_TRUE(reader.failed());
  close(fd);
}

class TempFolder : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "murex-app-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string write(const std::string& name, const std::string& content) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  std::string dir;
};

std::string raisedMessage(App& app, LoadFrom from = LoadFrom::CommandLine) {
  try {
    parseFile(app, from);
  } catch (const Error& e) {
    return e.message;
  }
  return "";
}

using ParseFile = TempFolder;

TEST_F(ParseFile, RefusesMissingFilesAndFoldersAndKeepsTheLedger) {
  App app;
  app.ledger = std::make_unique<Ledger>();
  app.ledger->errorText = "kept";
  app.args.fileName = dir + "/missing";
  EXPECT_EQ(raisedMessage(app), "Cannot read file: '" + dir + "/missing'");
  app.args.fileName = dir;
  EXPECT_EQ(raisedMessage(app), "Cannot read file: '" + dir + "'");
  ASSERT_TRUE(app.ledger);
  EXPECT_EQ(app.ledger->errorText, "kept");
}

// The command line reads a regular file or a pipe (books decrypted by another command); a
// reload only a regular file, so that nothing makes the viewer wait or read without end.
TEST_F(ParseFile, ReadsPipesOnlyFromTheCommandLineAndNeverADevice) {
  const std::string text = "2024-01-01 Open\n  Cash 10 ; @A\n  Eq ; @C\n";
  const std::string file = write("ledger", text);
  const std::string fifo = dir + "/fifo";  // no writer: opening it would wait
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string zero = dir + "/zero";
  std::filesystem::create_symlink("/dev/zero", zero);
  // A pipe holding the ledger, its writing end closed: what "<(command)" gives.
  const auto filledPipe = [&text] {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(::write(fds[1], text.data(), text.size()), ssize_t(text.size()));
    close(fds[1]);
    return fds[0];
  };
  const int pipeFd = filledPipe();
  const std::string pipeName = "/proc/self/fd/" + std::to_string(pipeFd);
  const struct {
    std::string name;
    LoadFrom from;
    std::string message;  // "" when the ledger is read
  } cases[] = {
      {file, LoadFrom::CommandLine, ""},
      {file, LoadFrom::Reload, ""},
      {pipeName, LoadFrom::Reload, "Not a regular file: '" + pipeName + "'"},
      {pipeName, LoadFrom::CommandLine, ""},
      {fifo, LoadFrom::Reload, "Not a regular file: '" + fifo + "'"},
      {zero, LoadFrom::Reload, "Not a regular file: '" + zero + "'"},
      {"/dev/zero", LoadFrom::CommandLine, "Not a regular file or pipe: '/dev/zero'"},
      {"/dev/null", LoadFrom::CommandLine, "Not a regular file or pipe: '/dev/null'"},
      {dir, LoadFrom::Reload, "Cannot read file: '" + dir + "'"},
  };
  for (const auto& c : cases) {
    App app;
    app.ledger = std::make_unique<Ledger>();
    app.ledger->errorText = "kept";
    app.args.fileName = c.name;
    EXPECT_EQ(raisedMessage(app, c.from), c.message) << c.name;
    ASSERT_TRUE(app.ledger);
    if (c.message.empty()) {
      EXPECT_EQ(app.ledger->errorText, "") << c.name;
      EXPECT_EQ(app.ledger->splits.size(), 2u) << c.name;
    } else {
      EXPECT_EQ(app.ledger->errorText, "kept") << c.name;
    }
  }
  close(pipeFd);
}

// A file that cannot be a ledger, such as a gigabyte of zeros without a line end, is read
// only as far as a line can be long, and refused at once in bounded memory; an error found
// before such a line stands.
TEST_F(ParseFile, StopsAtALineLongerThanAnyLedgerHas) {
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const std::string zeros = write("zeros", "");
  std::filesystem::resize_file(zeros, uintmax_t(1) << 30);
  App app;
  app.args.fileName = zeros;
  EXPECT_EQ(raisedMessage(app), "Line too long in '" + zeros + "': more than 16777216 bytes");
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "peak KB";
  const std::string longLine = write(
      "long", "2024-01-01 Open\n  Cash 10 ; @A\n  Eq ; @C\n2024-01-02 Shop\n  Cash 1 ; " +
                  std::string(17 << 20, 'x') + "\n  Eq\n");
  app.args.fileName = longLine;
  EXPECT_EQ(raisedMessage(app), "Line too long in '" + longLine + "': more than 16777216 bytes");
  const std::string errorFirst = write(
      "error", "2024-01-01 Open\n  Cash 10 ; @A\n  Eq 1x ; @C\n" + std::string(17 << 20, 'x'));
  app.args.fileName = errorFirst;
  EXPECT_EQ(raisedMessage(app), "");
  EXPECT_TRUE(app.ledger->errorText.starts_with("Error at line 3: ")) << app.ledger->errorText;
}

// The names command's load: the opening transaction and the last date from the file's end,
// or the whole file where the end does not tell.
TEST_F(ParseFile, OpeningAloneWhenTheEndTellsTheLastDate) {
  const std::string opening = "; books\n2024-01-01 Open\n  Cash 10 ; @A\n  Eq ; @C\n";
  const std::string later = "2024-02-01 Later\n  Cash 1\n  Eq\n";
  const std::string far = std::string(70000, ' ') + "\n";  // past the end that is read
  const struct {
    std::string name;
    std::string text;
    Datum last;
    size_t transactions;  // 1: the opening alone was read
    std::string error;    // the start of errorText
  } cases[] = {
      {"quick", opening + later + "2024-03-01 Last\n  Cash 1\n  Eq\n", 20240301, 1, ""},
      {"comments after", opening + later + "; end\n\n  ; note\n", 20240201, 1, ""},
      {"windows line ends", opening + "2024-03-01 a;;b\r\n  Cash 1\r\n  Eq\r\n", 20240301, 1,
       ""},
      {"no line end", opening + "2024-03-01 x\n  Cash 1\n  Eq", 20240301, 1, ""},
      {"only the opening", opening, 20240101, 1, ""},
      {"an error the end does not show", opening + "2024-02-01 x\n  Cash 1\n  Eq 5\n" + later,
       20240201, 1, ""},
      {"date line too far back", opening + later + "  ;" + far, 20240201, 2, ""},
      {"no date at the end", opening + "2024-02-31 x\n  Cash 1\n  Eq\n", 0, 1,
       "Error at line 5: day wrong"},
      {"last before first", opening + "2023-12-01 x\n  Cash 1\n  Eq\n", 0, 1,
       "Error at line 5: Date earlier"},
      {"error in the opening", "2024-01-01 Open\n  Cash 10 ; @A\n  Cash\n" + later, 0, 1,
       "Error at line 3: Account is a duplicate: Cash"},
  };
  for (const auto& c : cases) {
    App app;
    app.args.fileName = write(c.name, c.text);
    EXPECT_EQ(parseFileOpening(app), c.last) << c.name;
    EXPECT_EQ(app.ledger->transactions.size(), c.transactions) << c.name;
    EXPECT_TRUE(app.ledger->errorText.starts_with(c.error)) << c.name << app.ledger->errorText;
    if (c.error.empty()) {
      EXPECT_EQ(app.ledger->accounts.size(), 2u) << c.name;
    }
  }
}

TEST_F(ParseFile, OpeningOfAPipeReadsItWhole) {
  const std::string text =
      "2024-01-01 Open\n  Cash 10 ; @A\n  Eq ; @C\n2024-05-01 x\n  Cash 1\n  Eq\n";
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(::write(fds[1], text.data(), text.size()), ssize_t(text.size()));
  close(fds[1]);
  App app;
  app.args.fileName = "/proc/self/fd/" + std::to_string(fds[0]);
  EXPECT_EQ(parseFileOpening(app), 20240501);
  EXPECT_EQ(app.ledger->transactions.size(), 2u);
  close(fds[0]);
}

TEST_F(ParseFile, TakesTheReadingSettingsAndTheModificationTime) {
  App app;
  app.settings.decimalComma = true;
  app.settings.inDate = "d.m.y";
  app.args.fileName = write("ledger", "");
  const timespec times[2] = {{.tv_sec = 1000, .tv_nsec = 5}, {.tv_sec = 1700000000, .tv_nsec = 42}};
  ASSERT_EQ(utimensat(AT_FDCWD, app.args.fileName.c_str(), times, 0), 0);
  parseFile(app);
  ASSERT_TRUE(app.ledger);
  EXPECT_TRUE(app.ledger->decimalComma);
  EXPECT_EQ(app.ledger->dateFormat, "d.m.y");
  EXPECT_NE(app.ledger->errorText, "");  // an empty file has no transactions
  EXPECT_EQ(app.fileTime.sec, 1700000000);
  EXPECT_EQ(app.fileTime.nsec, 42);
}

using FileChanged = TempFolder;

TEST_F(FileChanged, SeesANewTimeButNotAFileBrieflyMissing) {
  App app;
  EXPECT_FALSE(fileChanged(app));  // nothing loaded
  app.args.fileName = write("ledger", "");
  parseFile(app);
  EXPECT_FALSE(fileChanged(app));
  const timespec later[2] = {{.tv_sec = 0, .tv_nsec = UTIME_OMIT},
                             {.tv_sec = app.fileTime.sec, .tv_nsec = app.fileTime.nsec + 1}};
  ASSERT_EQ(utimensat(AT_FDCWD, app.args.fileName.c_str(), later, 0), 0);
  EXPECT_TRUE(fileChanged(app));
  ASSERT_EQ(unlink(app.args.fileName.c_str()), 0);
  EXPECT_FALSE(fileChanged(app));
}

App appWithDates(std::initializer_list<Datum> dates, std::string period, bool future = false) {
  App app;
  app.ledger = std::make_unique<Ledger>();
  for (Datum d : dates)
    app.ledger->transactions.push_back({.date = d, .descriptionPos = 0, .descriptionLen = 0});
  app.args.period = std::move(period);
  app.args.future = future;
  return app;
}

std::string periodMessage(App& app) {
  try {
    periodSet(app);
  } catch (const Error& e) {
    return e.message;
  }
  return "";
}

TEST(PeriodSet, RefusesAPeriodOutsideTheLedgerAndChangesNothing) {
  App app = appWithDates({20210101, 20231231}, "2019Q1");
  app.period.fromDate = 1;
  EXPECT_EQ(periodMessage(app), "Period 2019Q1 outside of ledger's dates: 20210101 - 20231231");
  EXPECT_EQ(app.period.fromDate, 1);
  app.args.period = "2024Y";
  EXPECT_EQ(periodMessage(app), "Period 2024Y outside of ledger's dates: 20210101 - 20231231");
}

TEST(PeriodSet, StartsAtTheFirstTransactionAndEndsAtThePeriodOrToday) {
  App app = appWithDates({20210615, 20231231}, "2021Y");
  periodSet(app);
  EXPECT_EQ(app.period.fromDate, 20210615);
  EXPECT_EQ(app.period.toDate, 20211231);
  EXPECT_EQ(app.period.firstDate, 20210615);
  EXPECT_EQ(app.period.lastDate, 20231231);
  EXPECT_EQ(app.period.name, "Y");
  EXPECT_EQ(app.period.year, 2021);

  // The default year is that of the last transaction; a period touching one day is enough.
  App touching = appWithDates({20201231, 20210101}, "Q1");
  periodSet(touching);
  EXPECT_EQ(touching.period.fromDate, 20210101);
  EXPECT_EQ(touching.period.year, 2021);
}

TEST(PeriodSet, CutsAtTodayUnlessFutureIsOn) {
  const Datum now = today();
  const std::string year = std::to_string(yearOf(now));
  App app = appWithDates({20200101, yearOf(now) * 10000 + 101}, year + "Y");
  periodSet(app);
  EXPECT_EQ(app.period.fromDate, yearOf(now) * 10000 + 101);
  EXPECT_EQ(app.period.toDate, now);
  app.args.future = true;
  periodSet(app);
  EXPECT_TRUE(app.period.future);
  EXPECT_EQ(app.period.toDate, yearOf(now) * 10000 + 1231);
}

TEST(PeriodSet, KeepsTheRangeOfALedgerWithoutTransactions) {
  App app = appWithDates({20210101}, "Y");
  periodSet(app);
  app.ledger = std::make_unique<Ledger>();
  app.args.period = "Q1";
  periodSet(app);
  EXPECT_EQ(app.period.fromDate, 20210101);
  EXPECT_EQ(app.period.name, "Y");
}

}  // namespace
}  // namespace murex
