#include "args.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace murex {

namespace {

// The commands that read the options of the reports' period, filter and borders.
constexpr std::string_view reportCommands = "web account inventory monthly newopen";

const Command commands[] = {
    {"web", "web", WordKind::None},
    {"account", "account", WordKind::Account},
    {"acc", "account", WordKind::Account},
    {"inventory", "inventory", WordKind::Kind},
    {"inv", "inventory", WordKind::Kind},
    {"newopen", "newopen", WordKind::Ignored},
    {"nop", "newopen", WordKind::Ignored},
    {"monthly", "monthly", WordKind::Account},
    {"mon", "monthly", WordKind::Account},
    {"check", "check", WordKind::None},
    {"names", "names", WordKind::None},
    {"nam", "names", WordKind::None},
    {"import", "import", WordKind::File},
};

const Option options[] = {
    {"-h", "--help", &Args::help, nullptr, WordKind::None, ""},
    {"-m", "--man", &Args::man, nullptr, WordKind::None, ""},
    {"-p", "--period", nullptr, &Args::period, WordKind::Period, reportCommands},
    {"-f", "--filter", nullptr, &Args::filter, WordKind::Text, reportCommands},
    {"-v", "--version", &Args::version, nullptr, WordKind::None, ""},
    {"-F", "--future", &Args::future, nullptr, WordKind::None, reportCommands},
    {"-a", "--ascii", &Args::ascii, nullptr, WordKind::None, reportCommands},
    {"-b", "--balance", &Args::balances, nullptr, WordKind::None, "monthly"},
    {"", "--csv", &Args::csv, nullptr, WordKind::None, "account inventory monthly"},
    {"", "--json", &Args::json, nullptr, WordKind::None, "account inventory monthly"},
    {"", "--accounts", &Args::accounts, nullptr, WordKind::None, "names"},
    {"", "--kinds", &Args::kinds, nullptr, WordKind::None, "names"},
    {"", "--periods", &Args::periods, nullptr, WordKind::None, "names"},
    {"", "--completion", nullptr, &Args::completion, WordKind::Shell, ""},
    {"-r", "--rules", nullptr, &Args::rules, WordKind::File, "import"},
};

constexpr size_t optionCount = std::size(options);

// Each option's word as first typed, "" for those not given.
using TypedWords = std::array<std::string_view, optionCount>;

bool fits(const Option& o, std::string_view command) {
  if (o.commands.empty()) return true;
  for (size_t at = 0; at <= o.commands.size();) {
    const size_t blank = std::min(o.commands.find(' ', at), o.commands.size());
    if (o.commands.substr(at, blank - at) == command) return true;
    at = blank + 1;
  }
  return false;
}

size_t optionIndex(bool Args::*flag) {
  size_t i = 0;
  while (options[i].flag != flag) ++i;
  return i;
}

// An option that the command does not read is an error rather than silently nothing.
std::string fitError(const Args& args, const TypedWords& typed, size_t csvBeforeJson) {
  const auto unexpected = [](std::string_view with, std::string_view word) {
    return "Option unexpected " + std::string(with) + ": " + std::string(word);
  };
  for (size_t i = 0; i < optionCount; ++i) {
    if (!typed[i].empty() && !fits(options[i], args.command))
      return unexpected("for " + args.command, typed[i]);
  }
  const std::string_view csv = typed[optionIndex(&Args::csv)];
  const std::string_view json = typed[optionIndex(&Args::json)];
  const std::string_view balances = typed[optionIndex(&Args::balances)];
  if (!csv.empty() && !json.empty()) {
    return csvBeforeJson ? unexpected("with " + std::string(csv), json)
                         : unexpected("with " + std::string(json), csv);
  }
  // A month's end balance is what the ledger holds: no filter changes it.
  if (!balances.empty() && !args.filter.empty()) {
    size_t filter = 0;
    while (options[filter].value != &Args::filter) ++filter;
    return unexpected("with " + std::string(typed[filter]), balances);
  }
  return "";
}

const Command* commandNamed(std::string_view longForm) {
  for (const Command& c : commands)
    if (c.longForm == longForm) return &c;
  return nullptr;
}

void positionalWord(Args& args, std::string_view word) {
  if (args.fileName.empty()) {
    args.fileName = word;
  } else if (args.command.empty()) {
    for (const Command& c : commands) {
      if (c.word == word) {
        args.command = c.longForm;
        return;
      }
    }
    args.cmdLineError = "Command not found: " + std::string(word);
  } else if (!args.arg.empty() || commandNamed(args.command)->argument == WordKind::None) {
    args.cmdLineError = "Param unexpected: " + std::string(word);
  } else {
    args.arg = word;
  }
}

}  // namespace

std::span<const Command> commandTable() { return commands; }
std::span<const Option> optionTable() { return options; }

Args parseCommandLine(const std::vector<std::string_view>& words) {
  Args args;
  TypedWords typed;
  bool csvBeforeJson = false;
  const Option* pending = nullptr;
  for (size_t i = 0; i < words.size() && args.cmdLineError.empty(); ++i) {
    const std::string_view word = words[i];
    if (pending != nullptr) {
      args.*(pending->value) = word;
      pending = nullptr;
    } else if (word.empty()) {
      // Most often an unset shell variable: naming its place says which one.
      args.cmdLineError = "Empty argument word at position " + std::to_string(i + 1);
    } else if (word[0] == '-') {
      size_t found = 0;
      while (found < optionCount && word != options[found].shortForm &&
             word != options[found].longForm)
        ++found;
      if (found == optionCount) {
        args.cmdLineError = "Unknown option: " + std::string(word);
        continue;
      }
      const Option& o = options[found];
      if (typed[found].empty()) typed[found] = word;
      if (o.flag == &Args::csv && typed[optionIndex(&Args::json)].empty()) csvBeforeJson = true;
      if (o.flag != nullptr) {
        args.*(o.flag) = true;
      } else {
        pending = &o;
      }
    } else {
      positionalWord(args, word);
    }
  }
  if (args.command.empty()) args.command = "web";
  if (args.cmdLineError.empty() && pending != nullptr && pending->value == &Args::completion)
    args.cmdLineError = "Shell missing after " + std::string(typed[pending - options]) +
                        " (bash, zsh, fish)";
  if (args.cmdLineError.empty() && !args.completion.empty() &&
      std::find(std::begin(completionShells), std::end(completionShells), args.completion) ==
          std::end(completionShells))
    args.cmdLineError = "Shell not supported: " + args.completion + " (bash, zsh, fish)";
  // Help, version, the manual and the completion read no other option.
  if (args.cmdLineError.empty() && !args.help && !args.version && !args.man &&
      args.completion.empty())
    args.cmdLineError = fitError(args, typed, csvBeforeJson);
  if (args.cmdLineError.empty() && args.command == "import" && args.arg.empty() && !args.help &&
      !args.version && !args.man && args.completion.empty())
    args.cmdLineError = "Param missing for import: the statement's CSV file";
  return args;
}

}  // namespace murex
