// args: the command line, read into one record before anything else looks at it, and the
// tables of its commands and options that the reading and the shell completion share.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace murex {

struct Args {
  std::string fileName;
  std::string period = "Y";
  // long form: web, account, inventory, monthly, newopen, check, names, import
  std::string command;
  std::string arg;
  std::string filter;
  std::string rules;         // import: the rules file; "" for the statement's name + ".rules"
  std::string completion;    // --completion: the shell whose script to print
  std::string cmdLineError;  // the first error found, empty when none
  bool help = false;
  bool version = false;
  bool future = false;
  bool ascii = false;
  bool man = false;
  bool balances = false;  // monthly: each month's end balance instead of its change
  bool csv = false;       // the report as CSV instead of a table
  bool json = false;      // the report as JSON
  bool accounts = false;  // names: the lists to print; none of them is all three
  bool kinds = false;
  bool periods = false;
};

// What a word on the command line names, for the reading and for the completion.
enum class WordKind {
  None,     // nothing: a command's argument is an error
  Ignored,  // anything, read and then ignored
  Text,     // free text
  Period,   // a period name
  Account,  // an account name or number
  Kind,     // an inventory kind name or number
  File,     // a file name
  Shell,    // one of completionShells
};

struct Command {
  std::string_view word;      // as typed: "acc"
  std::string_view longForm;  // as stored in Args::command: "account"
  WordKind argument;
};

struct Option {
  std::string_view shortForm;  // "" when it has none
  std::string_view longForm;
  bool Args::*flag;          // the flag it sets; null for an option that takes the next word
  std::string Args::*value;  // the field the next word goes into, null for a flag
  WordKind valueKind;
  // The long forms of the commands that read it, blank-separated; "" for every command.
  std::string_view commands;
};

// Every command word and every option, in the order the usage page shows them.
std::span<const Command> commandTable();
std::span<const Option> optionTable();
inline constexpr std::string_view completionShells[] = {"bash", "zsh", "fish"};

// The argument words without the program name; problems go to cmdLineError, the first wins.
Args parseCommandLine(const std::vector<std::string_view>& words);

}  // namespace murex
