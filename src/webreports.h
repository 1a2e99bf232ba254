// webreports: the viewer's routes of the month-by-month page, of one account's month, and of
// the CSV downloads of every report table.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app.h"
#include "http/request.h"
#include "web.h"

namespace murex {

// Answers the request into answer and type when its path is one of these routes:
//   /monthly[/balance][/N]             the page: every account, or account N's tree
//   /rows/account/N[/YYYY-MM]?from=F&to=T&f=TEXT&frame=1
//                                      rows F..T-1 of an account's register, filtered, as
//                                      accountRowPart writes them (with the frame for 1)
//   /account/N/YYYY-MM, /filter/N/YYYY-MM?text
//                                      an account's report (rows) for one month of the period
//   /csv/accounts, /csv/account/N[/YYYY-MM][?filter], /csv/inventory, /csv/inv/N,
//   /csv/monthly[/balance][/N]         the same reports as CSV, for the shown period
// False when the path is none of them.
bool reportRoute(App& app, const http::Request& request, WebAnswer& answer,
                 std::string_view& type);

// The value of name=value in a query, decoded; empty when the query has no such pair.
std::string queryValue(std::string_view query, std::string_view name);

// The part of the month "/YYYY-MM" (all of rest) that the shown period covers; none for
// another text or a month outside the period.
std::optional<DateRange> shownMonth(const App& app, std::string_view rest);

// The reports for one month of the period: the dates the reports read are narrowed for the
// one answer and put back whatever happens.
class MonthShown {
 public:
  MonthShown(App& app, const DateRange& month) : app(app), from(app.fromDate), to(app.toDate) {
    app.fromDate = month.first;
    app.toDate = month.last;
  }
  ~MonthShown() {
    app.fromDate = from;
    app.toDate = to;
  }
  MonthShown(const MonthShown&) = delete;
  MonthShown& operator=(const MonthShown&) = delete;

 private:
  App& app;
  Datum from, to;
};

// The download's name: the ledger file's name without folder and extension, the report and
// the period, in letters, digits, "-", "_" and ".": household-monthly-2025Y.csv.
std::string csvFileName(const App& app, std::string_view report, std::string_view period);

}  // namespace murex
