// main: the program's entry: loads the settings and the command line, then prints one report
// or starts the viewer.
#include <algorithm>
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
#include "completion.h"
#include "config.h"
#include "error.h"
#include "export.h"
#include "importer.h"
#include "ledgertext.h"
#include "monthlyreport.h"
#include "names.h"
#include "queries.h"
#include "inventory.h"
#include "textreport.h"
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
    "check\n"
    "       Reads the ledger and prints nothing when it is good. Each\n"
    "       error or warning starts with the line editors read:\n"
    "       fileName:line:column: error: message\n"
    "names, nam\n"
    "       Prints the names the other commands accept, one per line:\n"
    "       the accounts, the inventory kinds and the periods.\n"
    "import <csvFile>\n"
    "       Prints the transactions of a bank's CSV statement that the\n"
    "       ledger does not have yet, as ledger text to append to it,\n"
    "       and those it leaves out commented out. The rules file\n"
    "       (csvFile.rules, or -r) says how to read the statement.\n"
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
    "--accounts, --kinds, --periods\n"
    "       names prints only these lists. Without them it prints all three\n"
    "--completion shell\n"
    "       prints the completion script for bash, zsh or fish\n"
    "-r, --rules rulesFile\n"
    "       import reads its rules from rulesFile instead of\n"
    "       csvFile.rules\n"
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

// "ledger:12:3: error: message", the line compilers write and editors jump from.
std::string editorLine(std::string_view fileName, TextPlace place, std::string_view severity,
                       std::string_view message) {
  std::string line(fileName);
  line += ':' + std::to_string(std::max<int64_t>(place.lineNr, 1));
  line += ':' + std::to_string(std::max<int64_t>(place.column, 1));
  line.append(": ").append(severity).append(": ");
  for (const char c : message) line.push_back(c == '\n' ? ' ' : c);
  line.push_back('\n');
  return line;
}

// Check's first line for an error that ends the run: the ledger's first error at its place,
// any other (the file cannot be read) at the file's start.
std::string checkErrorLine(const App& app, const Error& e) {
  if (app.args.command != "check" || app.args.fileName.empty()) return "";
  if (app.ledger && !app.ledger->errorText.empty())
    return editorLine(app.args.fileName, app.ledger->errorPlace, "error", app.ledger->errorMessage);
  return editorLine(app.args.fileName, {}, "error", e.message);
}

// Text from the ledger as a terminal shows it harmlessly: a control character, which could
// move the cursor, clear the screen or hide what follows, becomes its picture (U+2400 and
// on: ESC is shown as U+241B) and a C1 control U+FFFD, each one character as before, so
// that the tables stay aligned. Line feeds and tabs stay as they are.
std::string shownOnConsole(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) {
      const unsigned picture = c == 0x7f ? 0x2421 : 0x2400 + c;
      out += static_cast<char>(0xE0 | (picture >> 12));
      out += static_cast<char>(0x80 | ((picture >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (picture & 0x3F));
    } else if (c == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Writes the last words on standard error; nothing is left to report a failure to.
void writeErr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::string consoleReport(const App& app) {
  const Args& args = app.args;
  const Ledger& ledger = *app.ledger;
  const ReportRequest req = reportRequest(app);
  const bool exported = args.csv || args.json;
  const auto write = [&](const ExportTable& t) { return args.csv ? csvText(t) : jsonText(t); };
  if (args.command == "inventory") {
    if (args.arg.empty())
      return exported ? write(inventoryExport(req)) : balanceOfInventoryText(req);
    const Found kind = searchKind(ledger.kinds, args.arg);
    if (!kind.ok) raiseValue("No inventory kind found matching '$1'", {args.arg});
    return exported ? write(kindExport(req, kind.pos, args.filter))
                    : kindReportText(req, kind.pos, args.ascii, args.filter);
  }
  if (args.command == "account" || args.command == "monthly") {
    int64_t pos = -1;
    if (!args.arg.empty()) {
      const Found account = searchAccount(ledger.accounts, args.arg);
      if (!account.ok) raiseValue("No account found starting with '$1'", {args.arg});
      pos = account.pos;
    }
    if (args.command == "monthly") {
      return exported ? write(monthlyExport(req, pos, args.balances, args.filter))
                      : monthlyReportText(req, pos, args.balances, args.filter, args.ascii);
    }
    if (pos < 0)
      return exported ? write(accountsExport(req)) : balanceOfAccountsText(req, args.ascii);
    return exported ? write(accountExport(req, pos, args.filter))
                    : accountReportText(req, pos, args.filter, args.ascii);
  }
  if (!isLedgerClosed(ledger)) raiseValue("Income and Expenses must be closed first!");
  return newOpeningText(ledger);
}

// The ledger's warnings: for check in the form editors read, on standard error; for the
// other commands as the console has always shown them, on standard output.
void writeWarnings(const App& app) {
  const bool check = app.args.command == "check";
  std::string out;
  for (const LedgerWarning& w : app.ledger->warnings) {
    if (check) {
      out += editorLine(app.args.fileName, w.place, "warning", w.message);
    } else {
      out += w.message;
      out += '\n';
    }
  }
  if (out.empty()) return;
  // An import's standard output is ledger text to append: its warnings go beside its summary.
  if (check || app.args.command == "import") {
    writeErr(shownOnConsole(out));
  } else {
    writeOut(stdout, shownOnConsole(out));
  }
}

// Prints the ledger text of the statement's new rows, proven to append cleanly, and the
// summary line on standard error.
int runImport(App& app) {
  std::string ledgerText;
  parseFile(app, LoadFrom::CommandLine, &ledgerText);
  writeWarnings(app);
  if (!app.ledger->errorText.empty()) raiseError(ErrorKind::Value, app.ledger->errorText);
  const Args& args = app.args;
  const ImportRules rules =
      readImportRules(args.rules.empty() ? args.arg + ".rules" : args.rules, *app.ledger);
  const Statement statement = readStatement(args.arg, rules);
  const ImportResult result = importStatement(*app.ledger, ledgerText, rules, statement);
  writeOut(stdout, result.text);
  writeLine(stderr, importSummary(statement, result));
  return 0;
}

int run(App& app, const std::vector<std::string_view>& words) {
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
  if (!args.completion.empty()) {
    writeOut(stdout, completionScript(args.completion));
    return 0;
  }
  if (args.man) serve(app);
  if (args.help || args.fileName.empty()) {
    writeLine(stderr, fillNumbered(usageText, {configFile()}));
    return 1;
  }
  if (args.command == "names") {
    // Read quickly, for a completion on every key: the names stand in the opening
    // transaction, the periods need only the last date.
    const Datum last = parseFileOpening(app);
    const Ledger& ledger = *app.ledger;
    if (!ledger.errorText.empty()) raiseError(ErrorKind::Value, ledger.errorText);
    const bool all = !args.accounts && !args.kinds && !args.periods;
    writeOut(stdout, namesText(ledger, ledger.transactions.front().date, last,
                               {.accounts = all || args.accounts,
                                .kinds = all || args.kinds,
                                .periods = all || args.periods}));
    return 0;
  }
  if (args.command == "import") return runImport(app);
  parseFile(app);
  writeWarnings(app);
  if (!app.ledger->errorText.empty()) {
    if (args.command != "web") raiseError(ErrorKind::Value, app.ledger->errorText);
    // The viewer starts all the same, without a period: its page shows the error until the
    // file is fixed, and the first ledger that reports gets the period of the command line.
    writeErr(shownOnConsole(unhandledText(Error(ErrorKind::Value, app.ledger->errorText))));
    serve(app);
  }
  if (args.command == "check") return 0;
  periodSet(app);
  if (args.command == "web") serve(app);
  // CSV and JSON end with their own line end; they, and the ledger text of the next
  // opening, are data for other programs, written byte for byte.
  const std::string report = consoleReport(app);
  if (args.csv || args.json) {
    writeOut(stdout, report);
  } else if (args.command == "newopen") {
    writeLine(stdout, report);
  } else {
    writeLine(stdout, shownOnConsole(report));
  }
  return 0;
}

}  // namespace

}  // namespace murex

int main(int argc, char** argv) {
  const std::vector<std::string_view> words(argv + (argc > 0 ? 1 : 0), argv + argc);
  murex::App app;
  try {
    return murex::run(app, words);
  } catch (const murex::Error& e) {
    murex::writeErr(murex::shownOnConsole(murex::checkErrorLine(app, e) + murex::unhandledText(e)));
  } catch (const std::bad_alloc&) {
    murex::writeErr("Error: unhandled exception: Out of memory [MemoryError]\n");
  } catch (const std::exception& e) {
    murex::writeErr(std::string("Error: unhandled exception: ") + e.what() + " [Error]\n");
  }
  return 1;
}
