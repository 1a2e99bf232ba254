// app: the one application state of the process (settings, command line, loaded ledger,
// selected period), and loading the ledger file into it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "config.h"
#include "datum.h"
#include "args.h"
#include "ledger.h"
#include "reportrequest.h"

namespace murex {

struct FileTime {
  int64_t sec = 0;
  int64_t nsec = 0;
};

struct App {
  std::unique_ptr<Ledger> ledger;  // empty until parseFile, always in manual mode
  ShownPeriod period;              // the one the reports show; none before periodSet
  Config settings;
  Args args;
  FileTime fileTime;
};

// Who asks for the ledger. The command line also reads a pipe (books decrypted by another
// command); a reload in the viewer reads only a regular file, which cannot block it.
enum class LoadFrom { CommandLine, Reload };
// Reads args.fileName into a new ledger (parse errors go to its errorText); raises
// "Cannot read file: '<name>'", "Not a regular file: '<name>'" (reload) or "Not a regular
// file or pipe: '<name>'" (command line), and then keeps the previous ledger.
// keptText, when given, receives the normalised text that was parsed (for a command that
// parses it once more: the import's proof).
void parseFile(App& app, LoadFrom from = LoadFrom::CommandLine, std::string* keptText = nullptr);
// The names command's quick load: for a regular file only the opening transaction, parsed
// as every load parses it, and the date of the last transaction line read from the file's
// end; the whole file for a pipe or when the end does not tell a date after the first.
// Returns that last date, 0 when the ledger holds an error (in errorText). Raises as
// parseFile.
Datum parseFileOpening(App& app);
// The period text (as -p takes it) and the future switch over a ledger with transactions;
// raises the period errors and "Period P outside of ledger's dates: 20210101 - 20231231".
ShownPeriod periodOf(const Ledger& ledger, std::string_view text, bool future);
// Applies args.period and args.future, only when they are valid; raises as periodOf.
void periodSet(App& app);
// What a report of period over App's ledger is asked for; the period App shows without one.
ReportRequest reportRequest(const App& app, const ShownPeriod& period);
ReportRequest reportRequest(const App& app);
// False until a periodSet succeeded: the viewer starts on a faulty ledger without a period.
bool periodChosen(const App& app);
// True when the file's modification time differs from the one loaded; false when the
// file cannot be read at the moment (a save in progress).
bool fileChanged(const App& app);

}  // namespace murex
