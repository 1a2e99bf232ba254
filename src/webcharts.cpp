// The chart routes check the path's position and month, and read the plot's width and filter
// from the query; the figures themselves come from chart.
#include "webcharts.h"

#include <cstdint>
#include <optional>
#include <string>

#include "account.h"
#include "chart.h"
#include "digits.h"

namespace murex {

namespace {

// The plot width a chart asks for, in pixels; a missing or odd one gets a common width.
int64_t chartWidth(std::string_view query) {
  int64_t width = 0;
  return readNumber(queryValue(query, "w"), width) ? width : 800;
}

void json(RouteCall& call, std::string body) {
  call.answer.body = std::move(body);
  call.type = "application/json";
}

// The sub-accounts of the root of type per month.
void rootStack(RouteCall& call, char type) {
  const Found root = findAccountByType(call.app.ledger->accounts, type);
  if (!root.ok) return notFound(call);
  json(call, stackChart(reportOf(call), root.pos));
}

}  // namespace

void accountChartRoute(RouteCall& call) {
  const int64_t pos = call.path.position;
  if (pos >= std::ssize(call.app.ledger->accounts)) return notFound(call);
  const int64_t width = chartWidth(call.request.query);
  const std::string filter = queryValue(call.request.query, "f");
  if (!call.path.month) return json(call, accountChart(reportOf(call), pos, width, filter));
  const std::optional<ReportRequest> month = monthReportOf(call);
  if (!month) return notFound(call);
  json(call, accountChart(*month, pos, width, filter));
}

void kindChartRoute(RouteCall& call) {
  const int64_t pos = call.path.position;
  if (pos >= std::ssize(call.app.ledger->kinds)) return notFound(call);
  json(call, kindChart(reportOf(call), pos, chartWidth(call.request.query)));
}

void balanceChartRoute(RouteCall& call) { json(call, balanceChart(reportOf(call))); }

void stackChartRoute(RouteCall& call) {
  const int64_t pos = call.path.position;
  if (pos >= std::ssize(call.app.ledger->accounts)) return notFound(call);
  json(call, stackChart(reportOf(call), pos));
}

void expensesChartRoute(RouteCall& call) { rootStack(call, 'E'); }

void incomeChartRoute(RouteCall& call) { rootStack(call, 'I'); }

}  // namespace murex
