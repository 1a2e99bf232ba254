// app: the one application state of the process (settings, command line, loaded ledger,
// selected period), and loading the ledger file into it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "config.h"
#include "datum.h"
#include "main.h"
#include "parser.h"

namespace murex {

struct FileTime {
  int64_t sec = 0;
  int64_t nsec = 0;
};

struct App {
  std::unique_ptr<Ledger> ledger;  // empty until parseFile, always in manual mode
  std::string periodName;          // without the year: "Q3"
  bool future = false;
  int64_t periodYear = 0;
  Datum firstDate = 0;
  Datum lastDate = 0;
  Datum fromDate = 0;  // first day the reports cover
  Datum toDate = 0;    // last day the reports cover
  Config settings;
  Args args;
  FileTime fileTime;
};

// One left-to-right pass: "\r\r\n", "\r\n" and "\r" become "\n", ";;" becomes a form feed.
std::string normalizeLedgerText(std::string_view raw);
// A file read in pieces of whole lines, normalised on the way, so that the parse never needs
// the whole file in memory.
class LedgerReader {
 public:
  explicit LedgerReader(int fd, size_t blockSize = size_t(1) << 20)
      : fd(fd), blockSize(blockSize) {}
  // The next piece into piece (a buffer to reuse): every piece but the last ends with a line
  // feed, and together they are the normalised file. False at the end or when a read fails.
  bool next(std::string& piece);
  bool failed() const { return readFailed; }

 private:
  int fd;
  size_t blockSize;
  bool done = false;
  bool readFailed = false;
  std::string partLine;   // normalised text after the last line feed handed out
  std::string undecided;  // raw bytes whose meaning waits for the next ones
};

// Who asks for the ledger. The command line also reads a pipe (books decrypted by another
// command); a reload in the viewer reads only a regular file, which cannot block it.
enum class LoadFrom { CommandLine, Reload };
// Reads args.fileName into a new ledger (parse errors go to its errorText); raises
// "Cannot read file: '<name>'", "Not a regular file: '<name>'" (reload) or "Not a regular
// file or pipe: '<name>'" (command line), and then keeps the previous ledger.
void parseFile(App& app, LoadFrom from = LoadFrom::CommandLine);
// Applies args.period and args.future; raises the period errors and
// "Period P outside of ledger's dates: 20210101 - 20231231".
void periodSet(App& app);
// True when the file's modification time differs from the one loaded; false when the
// file cannot be read at the moment (a save in progress).
bool fileChanged(const App& app);

}  // namespace murex
