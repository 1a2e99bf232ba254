// webroute: what the viewer's routes share, below all of them: the answer, the one reader of
// a path against a route's pattern, the period an address names in front of its path, and
// the text of a query.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "datum.h"
#include "http/headers.h"

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

// The query as text: "+" is a blank, "%" and two hex digits a byte.
std::string decodeQuery(std::string_view query);
// The value of name=value in a query, decoded; empty when the query has no such pair.
std::string queryValue(std::string_view query, std::string_view name);

}  // namespace murex
