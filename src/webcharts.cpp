// The chart routes read a position, perhaps a month, and the plot's width and filter from
// the query; the figures themselves come from chart.
#include "webcharts.h"

#include <cstdint>
#include <optional>
#include <string>

#include "account.h"
#include "chart.h"
#include "queries.h"
#include "digits.h"
#include "webreports.h"

namespace murex {

namespace {

// The plot width a chart asks for, in pixels; a missing or odd one gets a common width.
int64_t chartWidth(std::string_view query) {
  int64_t width = 0;
  return readNumber(queryValue(query, "w"), width) ? width : 800;
}

// A position below limit at the front of rest ("12" of "12/2025-03"); the rest stays.
bool takePosition(std::string_view& rest, int64_t limit, int64_t& pos) {
  size_t n = 0;
  while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9') ++n;
  if (n == 0 || !readNumber(rest.substr(0, n), pos) || pos >= limit) return false;
  rest.remove_prefix(n);
  return true;
}

}  // namespace

bool chartRoute(App& app, const http::Request& request, WebAnswer& a, std::string_view& type) {
  std::string_view rest = request.path;
  if (!rest.starts_with("/chart/")) return false;
  rest.remove_prefix(7);
  const Ledger* ledger = app.ledger.get();
  a.status = 404;
  if (!ledger || !canReport(*ledger)) return true;
  const int64_t accounts = std::ssize(ledger->accounts);
  int64_t pos = 0;
  if (rest.starts_with("account/")) {
    rest.remove_prefix(8);
    if (!takePosition(rest, accounts, pos)) return true;
    const int64_t width = chartWidth(request.query);
    const std::string filter = queryValue(request.query, "f");
    if (rest.empty()) {
      a.body = accountChart(app, pos, width, filter);
    } else if (const std::optional<DateRange> month = shownMonth(app, rest)) {
      const MonthShown shown(app, *month);
      a.body = accountChart(app, pos, width, filter);
    } else {
      return true;
    }
  } else if (rest.starts_with("inv/")) {
    rest.remove_prefix(4);
    if (!takePosition(rest, std::ssize(ledger->kinds), pos) || !rest.empty()) return true;
    a.body = kindChart(app, pos, chartWidth(request.query));
  } else if (rest == "balance") {
    a.body = balanceChart(app);
  } else if (rest.starts_with("stack/")) {
    rest.remove_prefix(6);
    if (!takePosition(rest, accounts, pos) || !rest.empty()) return true;
    a.body = stackChart(app, pos);
  } else if (rest == "expenses" || rest == "income") {
    const Found root = findAccountByType(ledger->accounts, rest == "income" ? 'I' : 'E');
    if (!root.ok) return true;
    a.body = stackChart(app, root.pos);
  } else {
    return true;
  }
  a.status = 200;
  type = "application/json";
  return true;
}

}  // namespace murex
