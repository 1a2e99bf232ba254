#include "app.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "util.h"

namespace murex {

namespace {

// Reads the whole file; false when it cannot be opened or read, or is a directory.
bool readWholeFile(const std::string& name, std::string& bytes, FileTime& time) {
  const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  if (ok) {
    // Taken before the read: a save during the read then shows as a change later.
    time = {.sec = st.st_mtim.tv_sec, .nsec = st.st_mtim.tv_nsec};
    if (S_ISREG(st.st_mode) && st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
      const ssize_t got = read(fd, buf, sizeof buf);
      if (got > 0) {
        bytes.append(buf, static_cast<size_t>(got));
      } else if (got == 0) {
        break;
      } else if (errno != EINTR) {
        ok = false;
        break;
      }
    }
  }
  close(fd);
  return ok;
}

// The normalisation of normalizeLedgerText, in place: it only ever shortens the text. Runs
// between a carriage return or a semicolon are found with memchr and moved whole, so a
// file without either costs one scan.
void normalizeInPlace(std::string& s) {
  const size_t n = s.size();
  char* const d = s.data();
  const char* cr = static_cast<const char*>(std::memchr(d, '\r', n));
  const char* semi = static_cast<const char*>(std::memchr(d, ';', n));
  size_t r = 0;
  size_t w = 0;
  while (true) {
    const char* next = cr == nullptr ? semi : semi == nullptr ? cr : std::min(cr, semi);
    const size_t at = next == nullptr ? n : static_cast<size_t>(next - d);
    if (w != r) std::memmove(d + w, d + r, at - r);
    w += at - r;
    r = at;
    if (next == nullptr) break;
    if (d[r] == '\r') {
      if (r + 2 < n && d[r + 1] == '\r' && d[r + 2] == '\n') {
        r += 3;
      } else if (r + 1 < n && d[r + 1] == '\n') {
        r += 2;
      } else {
        r += 1;
      }
      d[w++] = '\n';
    } else if (r + 1 < n && d[r + 1] == ';') {
      d[w++] = '\f';
      r += 2;
    } else {
      d[w++] = ';';
      r += 1;
    }
    // Both pointers may lie behind r now, or inside the pair just consumed.
    if (cr != nullptr && cr < d + r)
      cr = static_cast<const char*>(std::memchr(d + r, '\r', n - r));
    if (semi != nullptr && semi < d + r)
      semi = static_cast<const char*>(std::memchr(d + r, ';', n - r));
  }
  s.resize(w);
}

}  // namespace

std::string normalizeLedgerText(std::string_view raw) {
  std::string text(raw);
  normalizeInPlace(text);
  return text;
}

void parseFile(App& app) {
  std::string bytes;
  FileTime time;
  if (!readWholeFile(app.args.fileName, bytes, time))
    raiseValue("Cannot read file: '$1'", {app.args.fileName});
  auto ledger = std::make_unique<Ledger>();
  ledger->decimalComma = app.settings.decimalComma;
  ledger->dateFormat = app.settings.inDate;
  normalizeInPlace(bytes);
  int64_t lineNr = 1;
  parseLedger(*ledger, bytes, lineNr);
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
