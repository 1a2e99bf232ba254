// errorframe: the report of a ledger's first error, "Error at line N: message" with the
// lines around it, three before and two after, the failing one marked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace murex {

// "> 12 | text" for the failing line, "  11 | text" around it; text begins with line
// firstLine and holds the lines the report quotes.
std::string errorFrame(std::string_view text, int64_t firstLine, int64_t lineNr,
                       std::string_view message);

}  // namespace murex
