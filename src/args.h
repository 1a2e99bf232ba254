// args: the command line, read into one record before anything else looks at it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace murex {

struct Args {
  std::string fileName;
  std::string period = "Y";
  std::string command;  // long form: web, account, inventory, monthly, newopen, import
  std::string arg;
  std::string filter;
  std::string rules;         // import: the rules file; "" for the statement's name + ".rules"
  std::string cmdLineError;  // the first error found, empty when none
  bool help = false;
  bool version = false;
  bool future = false;
  bool ascii = false;
  bool man = false;
  bool balances = false;  // monthly: each month's end balance instead of its change
  bool csv = false;       // the report as CSV instead of a table
  bool json = false;      // the report as JSON
};

// The argument words without the program name; problems go to cmdLineError, the first wins.
Args parseCommandLine(const std::vector<std::string_view>& words);

}  // namespace murex
