// webcharts: the viewer's routes of the charts' figures, JSON for the shown period. Each
// answers a row of the route table (web).
#pragma once

#include "webroute.h"

namespace murex {

// /chart/account/N[/YYYY-MM]?w=W&f=TEXT  account N's balance line, W pixels wide, filtered
void accountChartRoute(RouteCall& call);
// /chart/inv/N?w=W                       kind N's book value and items held
void kindChartRoute(RouteCall& call);
// /chart/balance                         income, expenses, profit and net worth per month
void balanceChartRoute(RouteCall& call);
// /chart/stack/N, /chart/expenses, /chart/income
//                                        the sub-accounts of N (or of the root) per month
void stackChartRoute(RouteCall& call);
void expensesChartRoute(RouteCall& call);
void incomeChartRoute(RouteCall& call);

}  // namespace murex
