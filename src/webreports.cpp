// The routes read their paths piece by piece: a fixed word, then a position or a month. A
// path that fits none of them is left to the other routes (and ends as "Not found").
#include "webreports.h"

#include <cstdint>
#include <optional>

#include "export.h"
#include "monthly.h"
#include "monthlyreport.h"
#include "queries.h"
#include "report.h"
#include "rowparts.h"
#include "digits.h"

namespace murex {

namespace {

constexpr std::string_view csvType = "text/csv; charset=utf-8";

// Takes word from the front of rest.
bool take(std::string_view& rest, std::string_view word) {
  if (!rest.starts_with(word)) return false;
  rest.remove_prefix(word.size());
  return true;
}

// "/" and a run of digits from the front of rest; positions past every list stay too big.
bool takePosition(std::string_view& rest, int64_t& pos) {
  if (!rest.starts_with('/')) return false;
  size_t n = 1;
  while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9') ++n;
  if (n == 1) return false;
  if (!readNumber(rest.substr(1, n - 1), pos)) pos = INT64_MAX;
  rest.remove_prefix(n);
  return true;
}

// "/YYYY-MM", all of rest: the month it names.
std::optional<DateRange> takeMonth(std::string_view rest) {
  int64_t year = 0;
  int64_t month = 0;
  if (rest.size() != 8 || rest[0] != '/' || rest[5] != '-' || !parseDigits(rest, 1, 4, year) ||
      !parseDigits(rest, 6, 2, month) || month < 1 || month > 12 || year < yearMin ||
      year > yearMax)
    return std::nullopt;
  return DateRange{year * 10000 + month * 100 + 1, monthEnd(year, month)};
}

// The part of the month that the shown period covers, if any.
std::optional<DateRange> shownPart(const App& app, const DateRange& month) {
  const DateRange part{std::max(month.first, app.fromDate), std::min(month.last, app.toDate)};
  if (part.first > part.last) return std::nullopt;
  return part;
}

// "[/balance][/N]" after /monthly: false for anything else.
bool takeMonthly(std::string_view rest, bool& balances, int64_t& pos) {
  balances = take(rest, "/balance");
  pos = -1;
  if (!rest.empty() && !takePosition(rest, pos)) return false;
  return rest.empty();
}

// A number of the query, or otherwise.
int64_t queryNumber(std::string_view query, std::string_view name, int64_t otherwise) {
  int64_t n = 0;
  return readNumber(queryValue(query, name), n) ? n : otherwise;
}

std::string periodText(const App& app) { return std::to_string(app.periodYear) + app.periodName; }

void download(WebAnswer& a, std::string_view& type, const App& app, const ExportTable& table,
              std::string_view report, std::string_view period) {
  a.body = csvText(table);
  type = csvType;
  a.headers.set("content-disposition",
                "attachment; filename=\"" + csvFileName(app, report, period) + "\"");
}

bool csvRoute(App& app, const http::Request& request, std::string_view rest, WebAnswer& a,
              std::string_view& type) {
  const Ledger& ledger = *app.ledger;
  int64_t pos = 0;
  bool balances = false;
  if (rest == "/accounts") {
    download(a, type, app, accountsExport(app), "accounts", periodText(app));
  } else if (rest == "/inventory") {
    download(a, type, app, inventoryExport(app), "inventory", periodText(app));
  } else if (take(rest, "/inv") && takePosition(rest, pos) && rest.empty()) {
    if (pos >= std::ssize(ledger.kinds)) return false;
    download(a, type, app, kindExport(app, pos, ""), "kind-" + ledger.kinds[pos].name,
             periodText(app));
  } else if (take(rest, "/account") && takePosition(rest, pos)) {
    if (pos >= std::ssize(ledger.accounts)) return false;
    const std::string report = "account-" + ledger.accounts[pos].name;
    const std::string filter = decodeQuery(request.query);
    if (rest.empty()) {
      download(a, type, app, accountExport(app, pos, filter), report, periodText(app));
    } else if (const std::optional<DateRange> month = takeMonth(rest)) {
      const std::optional<DateRange> part = shownPart(app, *month);
      if (!part) return false;
      const MonthShown shown(app, *part);
      download(a, type, app, accountExport(app, pos, filter), report, rest.substr(1));
    } else {
      return false;
    }
  } else if (take(rest, "/monthly") && takeMonthly(rest, balances, pos)) {
    if (pos >= std::ssize(ledger.accounts)) return false;
    std::string report = balances ? "monthly-balance" : "monthly";
    if (pos >= 0) report += "-" + ledger.accounts[pos].name;
    download(a, type, app, monthlyExport(app, pos, balances, ""), report, periodText(app));
  } else {
    return false;
  }
  return true;
}

}  // namespace

// The value of name=value in a query, decoded; empty when the query has no such pair.
std::string queryValue(std::string_view query, std::string_view name) {
  size_t begin = 0;
  while (begin <= query.size()) {
    size_t end = query.find('&', begin);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view pair = query.substr(begin, end - begin);
    if (pair.size() > name.size() && pair.starts_with(name) && pair[name.size()] == '=')
      return decodeQuery(pair.substr(name.size() + 1));
    begin = end + 1;
  }
  return "";
}

std::string csvFileName(const App& app, std::string_view report, std::string_view period) {
  std::string_view base = app.args.fileName;
  if (const size_t slash = base.rfind('/'); slash != std::string_view::npos)
    base.remove_prefix(slash + 1);
  if (const size_t dot = base.rfind('.'); dot != std::string_view::npos && dot > 0)
    base = base.substr(0, dot);
  std::string name;
  for (const char c : base) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    name += plain ? c : '_';
  }
  if (name.empty() || name[0] == '.') name.insert(0, "ledger");
  name += '-';
  name += report;
  name += '-';
  name += period;
  name += ".csv";
  return name;
}

bool reportRoute(App& app, const http::Request& request, WebAnswer& a, std::string_view& type) {
  std::string_view rest = request.path;
  const bool reports = app.ledger && canReport(*app.ledger);
  const auto notFound = [&] {
    a.status = 404;
    return true;
  };
  int64_t pos = 0;
  bool balances = false;
  if (take(rest, "/csv")) {
    if (!reports || !csvRoute(app, request, rest, a, type)) return notFound();
    return true;
  }
  if (take(rest, "/monthly")) {
    if (!takeMonthly(rest, balances, pos)) return false;
    if (!reports || pos >= std::ssize(app.ledger->accounts)) return notFound();
    a.body = monthlyReport(app, pos, balances);
    return true;
  }
  if (take(rest, "/rows/account")) {
    if (!takePosition(rest, pos)) return false;
    if (!reports || pos >= std::ssize(app.ledger->accounts)) return notFound();
    const std::string_view query = request.query;
    const auto part = [&] {
      a.body =
          accountRowPart(app, pos, queryValue(query, "f"), queryNumber(query, "from", 0),
                         queryNumber(query, "to", INT64_MAX), queryValue(query, "frame") == "1");
      type = "text/plain; charset=utf-8";
      return true;
    };
    if (rest.empty()) return part();
    const std::optional<DateRange> month = shownMonth(app, rest);
    if (!month) return notFound();
    const MonthShown shown(app, *month);
    return part();
  }
  const bool rows = take(rest, "/filter");
  if (!rows && !take(rest, "/account")) return false;
  if (!takePosition(rest, pos)) return false;
  const std::optional<DateRange> month = takeMonth(rest);
  if (!month) return false;
  if (!reports || pos >= std::ssize(app.ledger->accounts)) return notFound();
  const std::optional<DateRange> part = shownPart(app, *month);
  if (!part) return notFound();
  const MonthShown shown(app, *part);
  a.body = rows ? accountRows(app, pos, decodeQuery(request.query)) : accountReport(app, pos);
  return true;
}

std::optional<DateRange> shownMonth(const App& app, std::string_view rest) {
  const std::optional<DateRange> month = takeMonth(rest);
  if (!month) return std::nullopt;
  return shownPart(app, *month);
}

}  // namespace murex
