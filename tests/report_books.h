// The ledgers of the report tests, and the state that reports them for a year.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "app.h"
#include "ledger_text.h"

namespace murex {



inline App appOf(std::string_view text, Datum from = 20230101, Datum to = 20231231) {
  return reportingApp(text, from, to, "house.ledger", 2023);
}

// A ledger that does not report (no transactions): every report of it is empty.
inline ReportRequest unreportable() {
  static const Ledger none;
  return {.ledger = none};
}

inline bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Accounts: 0 Bank, 1 Card (L), 2 Equity (C), 3 Income (I), 4 Salary, 5 Expenses (E).
inline constexpr std::string_view small =
    "2023-01-01 Opening\n"
    "  Bank 100 ; @A\n"
    "  Card 0 ; @L Credit <card>\n"
    "  Equity -100 ; @C\n"
    "  Income 0 ; @I\n"
    "    Salary 0\n"
    "  Expenses 0 ; @E\n"
    "2023-02-01 Pay\n"
    "  Bank 100\n"
    "  Salary\n"
    "2023-03-01 Refund\n"
    "  Salary 10\n"
    "  Bank\n"
    "2023-04-01 Shop\n"
    "  Expenses 30 ; food\n"
    "  Card\n"
    "2023-05-01 Card paid twice\n"
    "  Card 40\n"
    "  Bank\n";

inline constexpr std::string_view stocks =
    "2023-01-01 Opening\n"
    "  Depot 0 ; @A\n"
    "  Depot:ACME 1@1 ; Acme <shares>\n"
    "  Depot:DUST 3@0.33\n"
    "  Eq -1.99\n"
    "2023-02-01 Buy\n"
    "  Depot:ACME 1@2\n"
    "  Eq\n"
    "2023-03-01 Sell dust\n"
    "  Depot:DUST -1.5@\n"
    "  Depot:DUST -1.5@ ; rest\n"
    "  Eq\n";

}  // namespace murex
