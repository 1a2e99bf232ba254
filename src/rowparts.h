// rowparts: an account's register for the viewer in parts, as JSON: how many rows there are
// and how wide their columns get, then any stretch of the rows, so that a long register
// shows its first screen without waiting for the rest.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reportrequest.h"

namespace murex {

// The rows from..to-1 (cut to the rows there are) of account accountPos with filter, a line
// each: [split position,date,debit,credit,balance,description,row class,balance class],
// the texts (HTML) of the account report's row as JSON; then the line
//   {"from":F,"count":N,"widest":[date,debit,credit,balance],"frame":HTML}
// with the longest text of each of those columns over all N rows and, with withFrame only,
// the account report without rows. A page splits the lines and reads a row when it shows it.
std::string accountRowPart(const ReportRequest& req, int64_t accountPos, std::string_view filter,
                           int64_t from, int64_t to, bool withFrame);

}  // namespace murex
