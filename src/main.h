// main: the program's entry, the command line and the dispatch to one report or the viewer.
#pragma once

#include <string>
#include <vector>

namespace murex {

struct Args {
  std::string fileName;
  std::string period = "Y";
  std::string command;  // long form: web, account, inventory, newopen
  std::string arg;
  std::string filter;
  std::string cmdLineError;  // the first error found, empty when none
  bool help = false;
  bool version = false;
  bool future = false;
  bool ascii = false;
  bool man = false;
};

}  // namespace murex
