#include "app.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "loader.h"
#include "parse.h"
#include "util.h"

namespace murex {

namespace {

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd(fd) {}
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;
  ~FileCloser() { close(fd); }

 private:
  int fd;
};

}  // namespace

void parseFile(App& app) {
  const int fd = open(app.args.fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) raiseValue("Cannot read file: '$1'", {app.args.fileName});
  const FileCloser closer(fd);
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))
    raiseValue("Cannot read file: '$1'", {app.args.fileName});
  // Taken before the read: a save during the read then shows as a change later.
  const FileTime time{.sec = st.st_mtim.tv_sec, .nsec = st.st_mtim.tv_nsec};
  auto ledger = std::make_unique<Ledger>();
  ledger->decimalComma = app.settings.decimalComma;
  ledger->dateFormat = app.settings.inDate;
  LedgerReader reader(fd, size_t(1) << 18);  // pieces small enough to stay in the caches
  int64_t lineNr = 1;
  parseLedgerPieces(
      *ledger, [&reader](std::string& piece) { return reader.next(piece); },
      S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0, lineNr);
  if (reader.failed()) raiseValue("Cannot read file: '$1'", {app.args.fileName});
  app.ledger = std::move(ledger);
  app.fileTime = time;
}

void periodSet(App& app) {
  // A reload in the viewer may have left a faulty ledger: keep the range chosen before.
  if (!app.ledger || app.ledger->transactions.empty()) return;
  const Datum first = app.ledger->transactions.front().date;
  const Datum last = app.ledger->transactions.back().date;
  const PeriodChoice choice = periodSplit(app.args.period, yearOf(last));
  const DateRange range = periodToDatum(choice.year, choice.name);
  if (range.last < first || last < range.first) {
    raiseValue("Period $1 outside of ledger's dates: $2 - $3",
               {app.args.period, std::to_string(first), std::to_string(last)});
  }
  app.firstDate = first;
  app.lastDate = last;
  app.periodName = choice.name;
  app.periodYear = choice.year;
  app.future = app.args.future;
  app.fromDate = std::max(range.first, first);
  app.toDate = app.future ? range.last : std::min(range.last, today());
}

bool fileChanged(const App& app) {
  if (!app.ledger || app.args.fileName.empty()) return false;
  struct stat st {};
  // Missing for a moment is how many editors save: no change until the file is back.
  if (stat(app.args.fileName.c_str(), &st) != 0) return false;
  return st.st_mtim.tv_sec != app.fileTime.sec || st.st_mtim.tv_nsec != app.fileTime.nsec;
}

}  // namespace murex
