// webcharts: the viewer's routes of the charts' figures, JSON for the shown period.
#pragma once

#include <string_view>

#include "app.h"
#include "http/request.h"
#include "web.h"

namespace murex {

// Answers the request into answer and type when its path starts with "/chart/":
//   /chart/account/N[/YYYY-MM]?w=W&f=TEXT  account N's balance line, W pixels wide, filtered
//   /chart/inv/N?w=W                       kind N's book value and items held
//   /chart/balance                         income, expenses, profit and net worth per month
//   /chart/stack/N, /chart/expenses, /chart/income
//                                          the sub-accounts of N (or of the root) per month
// Anything else under "/chart/", and every chart without a ledger that reports, is 404.
// False when the path does not start with "/chart/".
bool chartRoute(App& app, const http::Request& request, WebAnswer& answer,
                std::string_view& type);

}  // namespace murex
