// config: the per-user settings file murex.ini, which fixes how the ledger writes dates
// and decimals and how the reports write dates and numbers.
#pragma once

#include <string>
#include <string_view>

namespace murex {

struct Config {
  bool decimalComma = false;              // the ledger writes 1.234,56
  std::string number = "###,###,###,###.##";  // number pattern of the reports
  std::string outDate = "y-m-d";           // date format of the reports
  std::string inDate = "y-m-d";            // date format of the ledger
};

// $XDG_CONFIG_HOME/murex/murex.ini, else $HOME/.config/murex/murex.ini.
std::string configFile();
// The defaults when the file cannot be opened; raises "Error in <path> [<line>]: line wrong".
Config configFileLoad();
// A number pattern such as "###,###.##": "#" positions, grouping marks, two decimals.
bool numFmtVerify(std::string_view pattern);

}  // namespace murex
