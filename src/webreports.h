// webreports: the viewer's routes of the month-by-month page, of one account's month, and of
// the CSV downloads of every report table. Each answers a row of the route table (web).
#pragma once

#include <string>
#include <string_view>

#include "app.h"
#include "webroute.h"

namespace murex {

// /monthly[/N], /monthly/balance[/N]: the page of every account, or of account N's tree.
void monthlyChanges(RouteCall& call);
void monthlyBalances(RouteCall& call);
// /account/N/YYYY-MM, /filter/N/YYYY-MM?text: an account's report (rows) for one month of
// the period; a month the period does not cover names nothing.
void accountMonth(RouteCall& call);
void filteredMonthRows(RouteCall& call);
// /rows/account/N[/YYYY-MM]?from=F&to=T&f=TEXT&frame=1: rows F..T-1 of an account's
// register, filtered, as accountRowPart writes them (with the frame for 1).
void registerPart(RouteCall& call);
// /csv/accounts, /csv/account/N[/YYYY-MM][?filter], /csv/inventory, /csv/inv/N,
// /csv/monthly[/balance][/N]: the same reports as CSV downloads.
void accountsCsv(RouteCall& call);
void accountCsv(RouteCall& call);
void inventoryCsv(RouteCall& call);
void kindCsv(RouteCall& call);
void monthlyChangesCsv(RouteCall& call);
void monthlyBalancesCsv(RouteCall& call);

// The download's name: the ledger file's name without folder and extension, the report and
// the period, in letters, digits, "-", "_" and ".": household-monthly-2025Y.csv.
std::string csvFileName(const App& app, std::string_view report, std::string_view period);

}  // namespace murex
