#include "args.h"

#include <string>
#include <string_view>
#include <vector>

namespace murex {

namespace {

enum class Pending { None, Period, Filter, Rules };

struct Option {
  std::string_view shortForm;
  std::string_view longForm;
  bool Args::*flag;  // null for the options that take the next word
  Pending pending;
};

const Option options[] = {
    {"-h", "--help", &Args::help, Pending::None},
    {"-m", "--man", &Args::man, Pending::None},
    {"-p", "--period", nullptr, Pending::Period},
    {"-f", "--filter", nullptr, Pending::Filter},
    {"-v", "--version", &Args::version, Pending::None},
    {"-F", "--future", &Args::future, Pending::None},
    {"-a", "--ascii", &Args::ascii, Pending::None},
    {"-b", "--balance", &Args::balances, Pending::None},
    {"", "--csv", &Args::csv, Pending::None},
    {"", "--json", &Args::json, Pending::None},
    {"-r", "--rules", nullptr, Pending::Rules},
};

struct CommandWord {
  std::string_view word;
  std::string_view longForm;
};

const CommandWord commandWords[] = {
    {"web", "web"},       {"account", "account"}, {"acc", "account"}, {"inventory", "inventory"},
    {"inv", "inventory"}, {"newopen", "newopen"}, {"nop", "newopen"},
    {"monthly", "monthly"}, {"mon", "monthly"},
    {"import", "import"},
};

// The words of the options that only some commands read, as first typed.
struct ChosenWords {
  std::string balances, csv, json, filter, period, future, ascii, rules;
  bool csvFirst = false;  // --csv was given before --json
};

void remember(ChosenWords& chosen, const Option& o, std::string_view word) {
  std::string* slot = o.flag == &Args::balances ? &chosen.balances
                      : o.flag == &Args::csv    ? &chosen.csv
                      : o.flag == &Args::json   ? &chosen.json
                      : o.flag == &Args::future ? &chosen.future
                      : o.flag == &Args::ascii  ? &chosen.ascii
                      : o.pending == Pending::Filter ? &chosen.filter
                      : o.pending == Pending::Period ? &chosen.period
                      : o.pending == Pending::Rules  ? &chosen.rules
                                                     : nullptr;
  if (slot == &chosen.csv && chosen.json.empty()) chosen.csvFirst = true;
  if (slot && slot->empty()) *slot = word;
}

// An option that the command does not read is an error rather than silently nothing.
std::string fitError(const Args& args, const ChosenWords& chosen) {
  const auto unexpected = [](std::string_view with, std::string_view word) {
    return "Option unexpected " + std::string(with) + ": " + std::string(word);
  };
  const std::string forCommand = "for " + args.command;
  // An import prints ledger text for the whole statement: no period, filter or table.
  if (args.command == "import") {
    for (const std::string* word : {&chosen.period, &chosen.filter, &chosen.future, &chosen.ascii})
      if (!word->empty()) return unexpected(forCommand, *word);
  } else if (!chosen.rules.empty()) {
    return unexpected(forCommand, chosen.rules);
  }
  if (args.balances && args.command != "monthly") return unexpected(forCommand, chosen.balances);
  const bool exports = args.command == "account" || args.command == "inventory" ||
                       args.command == "monthly";
  if (args.csv && !exports) return unexpected(forCommand, chosen.csv);
  if (args.json && !exports) return unexpected(forCommand, chosen.json);
  if (args.csv && args.json) {
    const bool csvFirst = chosen.csvFirst;
    return unexpected("with " + (csvFirst ? chosen.csv : chosen.json),
                      csvFirst ? chosen.json : chosen.csv);
  }
  // A month's end balance is what the ledger holds: no filter changes it.
  if (args.balances && !args.filter.empty())
    return unexpected("with " + chosen.filter, chosen.balances);
  return "";
}

void positionalWord(Args& args, std::string_view word) {
  if (args.fileName.empty()) {
    args.fileName = word;
  } else if (args.command.empty()) {
    for (const CommandWord& c : commandWords) {
      if (c.word == word) {
        args.command = c.longForm;
        return;
      }
    }
    args.cmdLineError = "Command not found: " + std::string(word);
  } else if (!args.arg.empty() || args.command == "web") {
    args.cmdLineError = "Param unexpected: " + std::string(word);
  } else {
    args.arg = word;
  }
}

}  // namespace

Args parseCommandLine(const std::vector<std::string_view>& words) {
  Args args;
  ChosenWords chosen;
  Pending pending = Pending::None;
  for (size_t i = 0; i < words.size() && args.cmdLineError.empty(); ++i) {
    const std::string_view word = words[i];
    if (pending != Pending::None) {
      (pending == Pending::Period   ? args.period
       : pending == Pending::Filter ? args.filter
                                    : args.rules) = word;
      pending = Pending::None;
    } else if (word.empty()) {
      // Most often an unset shell variable: naming its place says which one.
      args.cmdLineError = "Empty argument word at position " + std::to_string(i + 1);
    } else if (word[0] == '-') {
      const Option* found = nullptr;
      for (const Option& o : options) {
        if (word == o.shortForm || word == o.longForm) found = &o;
      }
      if (found != nullptr) remember(chosen, *found, word);
      if (found == nullptr) {
        args.cmdLineError = "Unknown option: " + std::string(word);
      } else if (found->flag != nullptr) {
        args.*(found->flag) = true;
      } else {
        pending = found->pending;
      }
    } else {
      positionalWord(args, word);
    }
  }
  if (args.command.empty()) args.command = "web";

  // Help, version and the manual read no other option.
  if (args.cmdLineError.empty() && !args.help && !args.version && !args.man) {
    args.cmdLineError = fitError(args, chosen);
    if (args.cmdLineError.empty() && args.command == "import" && args.arg.empty())
      args.cmdLineError = "Param missing for import: the statement's CSV file";
  }
  return args;
}

}  // namespace murex
