#include "app.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "util.h"

namespace murex {

namespace {

// The first position from i on that the normalisation changes or must look at again: a
// carriage return, a ";;", or a semicolon in the last byte (its pair may follow in the next
// bytes); n if none. A lone semicolon stays as it is.
size_t nextToNormalise(const char* d, size_t i, size_t n) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i semi = _mm_set1_epi8(';');
  for (; i + 17 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i + 1));
    const __m128i pairs = _mm_and_si128(_mm_cmpeq_epi8(v, semi), _mm_cmpeq_epi8(after, semi));
    const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), pairs));
    if (hits != 0) return i + size_t(__builtin_ctz(unsigned(hits)));
  }
#endif
  for (; i < n; ++i)
    if (d[i] == '\r' || (d[i] == ';' && (i + 1 == n || d[i + 1] == ';'))) return i;
  return n;
}

// The normalisation of normalizeLedgerText, in place from position from on: it only ever
// shortens the text. The runs between the places it changes are found in one scan and moved
// whole. Unless atEnd, the last one or two bytes may start a pair whose meaning depends on
// what follows: they go to undecided, to be put before the next bytes.
void normalizeInPlace(std::string& s, size_t from, bool atEnd, std::string& undecided) {
  const size_t n = s.size();
  char* const d = s.data();
  size_t r = from;
  size_t w = from;
  while (true) {
    const size_t at = nextToNormalise(d, r, n);
    if (w != r) std::memmove(d + w, d + r, at - r);
    w += at - r;
    r = at;
    if (at == n) break;
    if (!atEnd && (r + 1 == n || (d[r] == '\r' && r + 2 == n && d[r + 1] == '\r'))) {
      undecided.assign(d + r, n - r);
      break;
    }
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
      d[w++] = ';';  // a semicolon at the very end
      r += 1;
    }
  }
  s.resize(w);
}

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

}  // namespace

std::string normalizeLedgerText(std::string_view raw) {
  std::string text(raw);
  std::string undecided;
  normalizeInPlace(text, 0, true, undecided);
  return text;
}

bool LedgerReader::next(std::string& piece) {
  if (done) return false;
  piece.assign(partLine);
  for (;;) {
    const size_t from = piece.size();
    piece += undecided;
    undecided.clear();
    const size_t before = piece.size();
    piece.resize(before + blockSize);
    ssize_t got = 0;
    do {
      got = read(fd, piece.data() + before, blockSize);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      readFailed = true;
      done = true;
      return false;
    }
    piece.resize(before + size_t(got));
    const bool atEnd = got == 0;
    normalizeInPlace(piece, from, atEnd, undecided);
    if (atEnd) {
      done = true;
      return true;
    }
    const void* nl = memrchr(piece.data() + from, '\n', piece.size() - from);
    if (nl != nullptr) {
      const size_t cut = size_t(static_cast<const char*>(nl) - piece.data()) + 1;
      partLine.assign(piece, cut);
      piece.resize(cut);
      return true;
    }
    // A line longer than a block: read on.
  }
}

void parseFile(App& app, LoadFrom from) {
  const std::string& name = app.args.fileName;
  struct stat st {};
  if (stat(name.c_str(), &st) != 0) raiseValue("Cannot read file: '$1'", {name});
  checkFileKind(name, st.st_mode, from);
  // Opening a pipe waits for its writer, as a command line means it to; anything else is
  // opened, and read, without ever waiting.
  const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | (S_ISFIFO(st.st_mode) ? 0 : O_NONBLOCK));
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
  parseLedgerPieces(
      *ledger, [&reader](std::string& piece) { return reader.next(piece); },
      S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0, lineNr);
  if (reader.failed()) raiseValue("Cannot read file: '$1'", {name});
  // A pipe's time moves while its writer writes; read to its end, it cannot change again.
  if (S_ISFIFO(st.st_mode) && fstat(fd, &st) == 0)
    time = {.sec = st.st_mtim.tv_sec, .nsec = st.st_mtim.tv_nsec};
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
