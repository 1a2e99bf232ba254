// webroute: what the viewer's routes share, below all of them: the answer, a request on its
// way through a route, the rows of the route table, the one reader of a path against a
// route's pattern, the period an address names in front of its path, and a query's text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app.h"
#include "datum.h"
#include "http/headers.h"
#include "http/request.h"

namespace murex {

struct WebAnswer {
  int status = 200;
  std::string body;
  http::Headers headers;  // "content-type", "location"
  bool quit = false;      // end the process once the answer is sent
};

// The pieces of a path that a pattern names.
struct RoutePath {
  int64_t position = -1;           // INT64_MAX for a run of digits past every list
  std::optional<DateRange> month;  // the whole month, not yet cut to a period
  std::string_view text;           // the rest, as it is (not decoded)
};

// Reads path against pattern: a fixed word, then any of "#" (a position: a run of decimal
// digits), "@" (a month: YYYY-MM) and, last, "*" (the rest, possibly empty), as in
// "/account/#/@". False unless the pattern takes the whole path.
bool readPath(std::string_view path, std::string_view pattern, RoutePath& out);

// "/p/PERIOD/" or "/p/PERIOD+future/" in front of a path: the period (the text -p takes)
// and the future switch that the answer is for.
struct PeriodPrefix {
  std::string_view period;
  bool future = false;
};
// Takes the prefix from the front of path, leaving the path after it ("/account/3").
std::optional<PeriodPrefix> takePeriodPrefix(std::string_view& path);

// What a route needs of the ledger before it can answer.
enum class Needs { Nothing, Ledger, Reports };

// One request on its way through a route: the state, the request, the pieces of its path,
// the period its answer is for, and the answer.
struct RouteCall {
  App& app;
  const http::Request& request;
  RoutePath path;
  ShownPeriod period;  // the address's period, or the one App shows
  WebAnswer answer;
  std::string_view type = "text/html; charset=utf-8";  // empty: no content type
};

// A row of the route table: the pattern of its paths (as readPath takes it) and the route.
struct Route {
  std::string_view pattern;
  Needs needs;
  void (*answer)(RouteCall& call);
};

// What the call's report is asked for: App's ledger and formats, the call's period.
ReportRequest reportOf(const RouteCall& call);
// The same for the path's month, cut to the days the period covers; none without a month in
// the path or when the period covers none of it.
std::optional<ReportRequest> monthReportOf(const RouteCall& call);

// The one answer for a path that names nothing: no such route, a position past its list, a
// month outside the period, a report without a ledger that reports.
void notFound(RouteCall& call);

// The query as text: "+" is a blank, "%" and two hex digits a byte.
std::string decodeQuery(std::string_view query);
// The value of name=value in a query, decoded; empty when the query has no such pair.
std::string queryValue(std::string_view query, std::string_view name);

}  // namespace murex
