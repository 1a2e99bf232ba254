// Ledger text as the loader hands it to the parse: single line feeds, ";;" as a form feed.
#pragma once

#include <string>
#include <string_view>

#include "parser.h"

namespace murex {

inline std::string normalisedLedger(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw.substr(i, 3) == "\r\r\n") {
      out += '\n';
      i += 2;
    } else if (raw.substr(i, 2) == "\r\n") {
      out += '\n';
      ++i;
    } else if (raw[i] == '\r') {
      out += '\n';
    } else if (raw.substr(i, 2) == ";;") {
      out += '\f';
      ++i;
    } else {
      out += raw[i];
    }
  }
  return out;
}

inline Ledger parsedLedger(std::string_view raw) {
  Ledger ledger;
  const std::string text = normalisedLedger(raw);
  int64_t lineNr = 1;
  parseLedger(ledger, text, lineNr);
  return ledger;
}

}  // namespace murex
