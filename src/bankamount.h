// bankamount: amounts as banks print them in their statements: a sign in front or behind,
// parentheses for a negative, grouping marks or blanks, a currency symbol or code around
// the number. Exact cents; knows nothing of columns or files.
#pragma once

#include <string_view>

#include "amount.h"

namespace murex {

// Reads one cell into out. Answers "" or the message of what is wrong, with $1 standing for
// the cell: the caller names the file and the line.
std::string_view readBankAmount(std::string_view cell, bool decimalComma, Money& out);

}  // namespace murex
