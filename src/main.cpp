// main: the program's entry: loads the settings and the command line, then prints one report
// or starts the viewer.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "app.h"
#include "args.h"
#include "config.h"
#include "error.h"
#include "export.h"
#include "ledgertext.h"
#include "monthlyreport.h"
#include "queries.h"
#include "inventory.h"
#include "report.h"
#include "web.h"

namespace murex {

namespace {

constexpr std::string_view versionText = "murex version 1.0.1\nBuild-date: 2024-07-14";

constexpr std::string_view usageText =
    "Double-entry bookkeeping on text files\n"
    "\n"
    "Usage: murex [opts] fileName [command] [arg]\n"
    "\n"
    "Where `fileName` is the ledger file to parse.\n"
    "\n"
    "Commands and their arguments:\n"
    "\n"
    "web\n"
    "       The default command. Starts a web-server, prints the url\n"
    "       on the console. Open it in your browser.\n"
    "account, acc <accountName|pos>\n"
    "       Prints the transactions for the account specified\n"
    "       Enter the beginning of the name of the account until\n"
    "       it resolves uniquely. With no argument it prints the\n"
    "       balance of all accounts.\n"
    "inventory, inv <kindName|pos>\n"
    "       Prints inventory changes for the given kind for the period.\n"
    "       Wit no argument it prints the balance of the whole inventory.\n"
    "monthly, mon <accountName|pos>\n"
    "       Prints one column per month of the period with the change\n"
    "       of every account, sub-accounts included, and the profit or\n"
    "       loss of each month. With an argument, only that account and\n"
    "       its sub-accounts.\n"
    "newopen, nop\n"
    "       Prints a new opening transaction. Ledger must be closed first.\n"
    "\n"
    "Options (`opts`) are:\n"
    "\n"
    "-h, --help\n"
    "       giving you this usage page\n"
    "-m, --man\n"
    "       starts the web interace showing the manual\n"
    "-p, --period periodName\n"
    "       periodName is one of the known financial periods like Q2,\n"
    "       Y, M4 or H2. Year can precede it: 2021Q3. Defaults to 'Y'\n"
    "-f, --filter searchString\n"
    "       only display splits that match searchString\n"
    "-v, --version\n"
    "       returns the version of murex\n"
    "-F, --future\n"
    "       show transactions with future dates\n"
    "-a, --ascii\n"
    "       use old ascii table border characters when printing\n"
    "       tables. Otherwise unicode is used\n"
    "-b, --balance\n"
    "       monthly shows the balance at the end of each month\n"
    "       instead of the change in it\n"
    "--csv\n"
    "       print the report of account, inventory or monthly as CSV\n"
    "       for spreadsheets: plain numbers, ISO dates, full names\n"
    "--json\n"
    "       print the report of account, inventory or monthly as JSON\n"
    "       for scripts\n"
    "\n"
    "Config file: $1\n";

// Fails with an OSError when the bytes did not all reach the stream, so that a report lost
// to a full disk or a closed pipe is not answered with success.
void writeOut(FILE* stream, std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() || std::fflush(stream) != 0) {
    const std::string reason = std::strerror(errno);
    std::clearerr(stream);
    raiseError(ErrorKind::OS, "Cannot write the output: " + reason);
  }
}

void writeLine(FILE* stream, std::string_view text) {
  std::string line;
  line.reserve(text.size() + 1);
  line.append(text);
  line.push_back('\n');
  writeOut(stream, line);
}

// Writes the last words on standard error; nothing is left to report a failure to.
void writeErr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::string consoleReport(const App& app) {
  const Args& args = app.args;
  const Ledger& ledger = *app.ledger;
  const bool exported = args.csv || args.json;
  const auto write = [&](const ExportTable& t) { return args.csv ? csvText(t) : jsonText(t); };
  if (args.command == "inventory") {
    if (args.arg.empty()) return exported ? write(inventoryExport(app)) : balanceOfInventory(app, false);
    const Found kind = searchKind(ledger.kinds, args.arg);
    if (!kind.ok) raiseValue("No inventory kind found matching '$1'", {args.arg});
    return exported ? write(kindExport(app, kind.pos, args.filter))
                    : kindReportText(app, kind.pos, args.ascii, args.filter);
  }
  if (args.command == "account" || args.command == "monthly") {
    int64_t pos = -1;
    if (!args.arg.empty()) {
      const Found account = searchAccount(ledger.accounts, args.arg);
      if (!account.ok) raiseValue("No account found starting with '$1'", {args.arg});
      pos = account.pos;
    }
    if (args.command == "monthly") {
      return exported ? write(monthlyExport(app, pos, args.balances, args.filter))
                      : monthlyReportText(app, pos, args.balances, args.filter, args.ascii);
    }
    if (pos < 0) return exported ? write(accountsExport(app)) : balanceOfAccounts(app, false, args.ascii);
    return exported ? write(accountExport(app, pos, args.filter))
                    : accountReportText(app, pos, args.filter, args.ascii);
  }
  if (!isLedgerClosed(ledger)) raiseValue("Income and Expenses must be closed first!");
  return newOpeningText(ledger);
}

int run(const std::vector<std::string_view>& words) {
  App app;
  app.settings = configFileLoad();
  app.args = parseCommandLine(words);
  const Args& args = app.args;
  if (!args.cmdLineError.empty()) {
    writeLine(stderr, args.cmdLineError);
    return 1;
  }
  if (args.version) {
    writeLine(stderr, versionText);
    return 0;
  }
  if (args.man) serve(app);
  if (args.help || args.fileName.empty()) {
    writeLine(stderr, fillNumbered(usageText, {configFile()}));
    return 1;
  }
  parseFile(app);
  if (!app.ledger->errorText.empty()) raiseError(ErrorKind::Value, app.ledger->errorText);
  periodSet(app);
  if (args.command == "web") serve(app);
  // CSV and JSON end with their own line end.
  const std::string report = consoleReport(app);
  if (args.csv || args.json) {
    writeOut(stdout, report);
  } else {
    writeLine(stdout, report);
  }
  return 0;
}

}  // namespace

}  // namespace murex

int main(int argc, char** argv) {
  const std::vector<std::string_view> words(argv + (argc > 0 ? 1 : 0), argv + argc);
  try {
    return murex::run(words);
  } catch (const murex::Error& e) {
    murex::writeErr(murex::unhandledText(e));
  } catch (const std::bad_alloc&) {
    murex::writeErr("Error: unhandled exception: Out of memory [MemoryError]\n");
  } catch (const std::exception& e) {
    murex::writeErr(std::string("Error: unhandled exception: ") + e.what() + " [Error]\n");
  }
  return 1;
}
