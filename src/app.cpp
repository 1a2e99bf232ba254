#include "app.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "error.h"
#include "loader.h"
#include "parse.h"

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

// Refuses what a load must not read: a directory or a device, and a pipe unless the
// command line names it (a reload would wait on it, or read it empty).
void checkFileKind(const std::string& name, mode_t mode, LoadFrom from) {
  if (S_ISREG(mode) || (from == LoadFrom::CommandLine && S_ISFIFO(mode))) return;
  if (S_ISDIR(mode)) raiseValue("Cannot read file: '$1'", {name});
  if (from == LoadFrom::Reload) raiseValue("Not a regular file: '$1'", {name});
  raiseValue("Not a regular file or pipe: '$1'", {name});
}

// Reads the file into a new ledger, the whole of it or only its opening transaction.
void load(App& app, LoadFrom from, ParseScope scope, std::string* keptText = nullptr) {
  const std::string& name = app.args.fileName;
  struct stat st {};
  if (stat(name.c_str(), &st) != 0) raiseValue("Cannot read file: '$1'", {name});
  checkFileKind(name, st.st_mode, from);
  // Opening a pipe waits for its writer, as a command line means it to; anything else is
  // opened, and read, without ever waiting.
  const int fd =
      open(name.c_str(), O_RDONLY | O_CLOEXEC | (S_ISFIFO(st.st_mode) ? 0 : O_NONBLOCK));
  if (fd < 0) raiseValue("Cannot read file: '$1'", {name});
  const FileCloser closer(fd);
  // The name may have been given to something else since the look above.
  if (fstat(fd, &st) != 0) raiseValue("Cannot read file: '$1'", {name});
  checkFileKind(name, st.st_mode, from);
  // Taken before the read: a save during the read then shows as a change later.
  FileTime time{.sec = st.st_mtim.tv_sec, .nsec = st.st_mtim.tv_nsec};
  auto ledger = std::make_unique<Ledger>();
  ledger->decimalComma = app.settings.decimalComma;
  ledger->dateFormat = app.settings.inDate;
  LedgerReader reader(fd, size_t(1) << 18);  // pieces small enough to stay in the caches
  int64_t lineNr = 1;
  if (keptText != nullptr && S_ISREG(st.st_mode)) keptText->reserve(size_t(st.st_size));
  // A line longer than any ledger has, met before an error was found: whatever the parse of
  // its start says would be a guess.
  bool cutShort = false;
  Ledger& parsed = *ledger;
  parseLedgerPieces(
      parsed,
      [&](std::string& piece) {
        const bool more = reader.next(piece);
        if (more && keptText != nullptr) keptText->append(piece);
        cutShort = cutShort || (reader.lineTooLong() && parsed.errorPlace.lineNr == 0);
        return more;
      },
      S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0, lineNr, scope);
  if (reader.failed()) raiseValue("Cannot read file: '$1'", {name});
  if (cutShort) raiseValue("Line too long in '$1': more than 16777216 bytes", {name});
  // A pipe's time moves while its writer writes; read to its end, it cannot change again.
  if (S_ISFIFO(st.st_mode) && fstat(fd, &st) == 0)
    time = {.sec = st.st_mtim.tv_sec, .nsec = st.st_mtim.tv_nsec};
  app.ledger = std::move(ledger);
  app.fileTime = time;
}

// The date of the last transaction line of a regular file, read from its end; 0 when it is
// not there or not a date.
Datum lastDateFromEnd(const std::string& name, const std::string& dateFormat) {
  constexpr off_t tailBytes = 1 << 16;
  const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return 0;
  const FileCloser closer(fd);
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  const off_t from = std::max<off_t>(0, st.st_size - tailBytes);
  std::string raw(size_t(st.st_size - from), '\0');
  if (pread(fd, raw.data(), raw.size(), from) != ssize_t(raw.size())) return 0;
  // From the first whole line on: the bytes before it may end a line in the middle of
  // a line end or of a ";;".
  size_t begin = 0;
  if (from > 0) {
    begin = raw.find('\n');
    if (begin == std::string::npos) return 0;
    ++begin;
  }
  return lastTransactionDate(normalizeLedgerText(std::string_view(raw).substr(begin)),
                             dateFormat);
}

}  // namespace

void parseFile(App& app, LoadFrom from, std::string* keptText) {
  load(app, from, ParseScope::Whole, keptText);
}

Datum parseFileOpening(App& app) {
  struct stat st {};
  if (stat(app.args.fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    load(app, LoadFrom::CommandLine, ParseScope::Opening);
    const Ledger& ledger = *app.ledger;
    if (!ledger.errorText.empty()) return 0;
    const Datum last = lastDateFromEnd(app.args.fileName, app.settings.inDate);
    if (last >= ledger.transactions.front().date) return last;
  }
  // A pipe cannot be read twice, and a last date that the end does not tell (or that
  // comes before the first) needs the whole file, where the error it hides is found.
  load(app, LoadFrom::CommandLine, ParseScope::Whole);
  const Ledger& ledger = *app.ledger;
  return ledger.errorText.empty() ? ledger.transactions.back().date : 0;
}

ShownPeriod periodOf(const Ledger& ledger, std::string_view text, bool future) {
  const Datum first = ledger.transactions.front().date;
  const Datum last = ledger.transactions.back().date;
  const PeriodChoice choice = periodSplit(text, yearOf(last));
  const DateRange range = periodToDatum(choice.year, choice.name);
  if (range.last < first || last < range.first) {
    raiseValue("Period $1 outside of ledger's dates: $2 - $3",
               {text, std::to_string(first), std::to_string(last)});
  }
  return {.name = choice.name,
          .year = choice.year,
          .future = future,
          .firstDate = first,
          .lastDate = last,
          .fromDate = std::max(range.first, first),
          .toDate = future ? range.last : std::min(range.last, today())};
}

void periodSet(App& app) {
  // A reload in the viewer may have left a faulty ledger: keep the range chosen before.
  if (!app.ledger || app.ledger->transactions.empty()) return;
  app.period = periodOf(*app.ledger, app.args.period, app.args.future);
}

ReportRequest reportRequest(const App& app, const ShownPeriod& period) {
  return {.ledger = *app.ledger,
          .period = period,
          .fromDate = period.fromDate,
          .toDate = period.toDate,
          .numberPattern = app.settings.number,
          .dateFormat = app.settings.outDate,
          .fileLabel = app.args.fileName};
}

ReportRequest reportRequest(const App& app) { return reportRequest(app, app.period); }

bool periodChosen(const App& app) { return app.period.fromDate != 0; }

bool fileChanged(const App& app) {
  if (!app.ledger || app.args.fileName.empty()) return false;
  struct stat st {};
  // Missing for a moment is how many editors save: no change until the file is back.
  if (stat(app.args.fileName.c_str(), &st) != 0) return false;
  return st.st_mtim.tv_sec != app.fileTime.sec || st.st_mtim.tv_nsec != app.fileTime.nsec;
}

}  // namespace murex
