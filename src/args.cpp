#include "args.h"

#include <string>
#include <string_view>
#include <vector>

namespace murex {

namespace {

enum class Pending { None, Period, Filter };

struct Option {
  std::string_view shortForm;
  std::string_view longForm;
  bool Args::*flag;  // null for the two options that take the next word
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
};

struct CommandWord {
  std::string_view word;
  std::string_view longForm;
};

const CommandWord commandWords[] = {
    {"web", "web"},       {"account", "account"}, {"acc", "account"}, {"inventory", "inventory"},
    {"inv", "inventory"}, {"newopen", "newopen"}, {"nop", "newopen"},
};

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
  Pending pending = Pending::None;
  for (size_t i = 0; i < words.size() && args.cmdLineError.empty(); ++i) {
    const std::string_view word = words[i];
    if (pending != Pending::None) {
      (pending == Pending::Period ? args.period : args.filter) = word;
      pending = Pending::None;
    } else if (word.empty()) {
      // Most often an unset shell variable: naming its place says which one.
      args.cmdLineError = "Empty argument word at position " + std::to_string(i + 1);
    } else if (word[0] == '-') {
      const Option* found = nullptr;
      for (const Option& o : options) {
        if (word == o.shortForm || word == o.longForm) found = &o;
      }
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
  return args;
}

}  // namespace murex
