// completion: the shell completion scripts for bash, zsh and fish, written from the command
// and option tables that the command line is read with, so that they cannot go stale. The
// scripts ask `murex LEDGER names` for the accounts, kinds and periods of the ledger named
// on the line.
#pragma once

#include <string>
#include <string_view>

namespace murex {

// The script for one of completionShells (args.h).
std::string completionScript(std::string_view shell);

}  // namespace murex
