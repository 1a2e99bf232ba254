// The routes of the month-by-month page and the downloads: the path's pieces are read by the
// route table; these check them against the ledger and the period.
#include "webreports.h"

#include <cstdint>
#include <optional>

#include "export.h"
#include "monthly.h"
#include "monthlyreport.h"
#include "queries.h"
#include "htmlreport.h"
#include "rowparts.h"
#include "digits.h"

namespace murex {

namespace {

constexpr std::string_view csvType = "text/csv; charset=utf-8";

std::string periodText(const RouteCall& call) {
  return std::to_string(call.period.year) + call.period.name;
}

void download(RouteCall& call, const ExportTable& table, std::string_view report,
              std::string_view period) {
  call.answer.body = csvText(table);
  call.type = csvType;
  call.answer.headers.set("content-disposition",
                          "attachment; filename=\"" + csvFileName(call.app, report, period) + "\"");
}

bool hasAccount(const RouteCall& call) {
  return call.path.position < std::ssize(call.app.ledger->accounts);
}

// The page of every account (no position), or of one account's tree.
void monthly(RouteCall& call, bool balances) {
  if (!hasAccount(call)) return notFound(call);
  call.answer.body = monthlyReport(reportOf(call), call.path.position, balances);
}

void monthlyCsv(RouteCall& call, bool balances) {
  if (!hasAccount(call)) return notFound(call);
  const int64_t pos = call.path.position;
  std::string report = balances ? "monthly-balance" : "monthly";
  if (pos >= 0) report += "-" + call.app.ledger->accounts[pos].name;
  download(call, monthlyExport(reportOf(call), pos, balances, ""), report, periodText(call));
}

// A number of the query, or otherwise.
int64_t queryNumber(std::string_view query, std::string_view name, int64_t otherwise) {
  int64_t n = 0;
  return readNumber(queryValue(query, name), n) ? n : otherwise;
}

}  // namespace

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

void monthlyChanges(RouteCall& call) { monthly(call, false); }

void monthlyBalances(RouteCall& call) { monthly(call, true); }

void accountMonth(RouteCall& call) {
  const std::optional<ReportRequest> month = monthReportOf(call);
  if (!hasAccount(call) || !month) return notFound(call);
  call.answer.body = accountReport(*month, call.path.position);
}

void filteredMonthRows(RouteCall& call) {
  const std::optional<ReportRequest> month = monthReportOf(call);
  if (!hasAccount(call) || !month) return notFound(call);
  call.answer.body = accountRows(*month, call.path.position, decodeQuery(call.request.query));
}

void registerPart(RouteCall& call) {
  const std::optional<ReportRequest> month = monthReportOf(call);
  if (call.path.month && !month) return notFound(call);
  if (!hasAccount(call)) return notFound(call);
  const std::string_view query = call.request.query;
  call.answer.body =
      accountRowPart(month ? *month : reportOf(call), call.path.position, queryValue(query, "f"),
                     queryNumber(query, "from", 0), queryNumber(query, "to", INT64_MAX),
                     queryValue(query, "frame") == "1");
  call.type = "text/plain; charset=utf-8";
}

void accountsCsv(RouteCall& call) {
  download(call, accountsExport(reportOf(call)), "accounts", periodText(call));
}

void inventoryCsv(RouteCall& call) {
  download(call, inventoryExport(reportOf(call)), "inventory", periodText(call));
}

void kindCsv(RouteCall& call) {
  const Ledger& ledger = *call.app.ledger;
  const int64_t pos = call.path.position;
  if (pos >= std::ssize(ledger.kinds)) return notFound(call);
  download(call, kindExport(reportOf(call), pos, ""), "kind-" + ledger.kinds[pos].name,
           periodText(call));
}

// The whole period, or the month of the path, as the download's name says.
void accountCsv(RouteCall& call) {
  if (!hasAccount(call)) return notFound(call);
  const int64_t pos = call.path.position;
  const std::string report = "account-" + call.app.ledger->accounts[pos].name;
  const std::string filter = decodeQuery(call.request.query);
  if (!call.path.month) {
    download(call, accountExport(reportOf(call), pos, filter), report, periodText(call));
    return;
  }
  const std::optional<ReportRequest> month = monthReportOf(call);
  if (!month) return notFound(call);
  const std::string_view path = call.request.path;
  download(call, accountExport(*month, pos, filter), report, path.substr(path.size() - 7));
}

void monthlyChangesCsv(RouteCall& call) { monthlyCsv(call, false); }

void monthlyBalancesCsv(RouteCall& call) { monthlyCsv(call, true); }

}  // namespace murex
