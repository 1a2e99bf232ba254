#include "webroute.h"

#include "digits.h"

namespace murex {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A run of digits from the front of rest; runs too long for the digit reader are out of every
// list's range, like any number past its end.
bool takePosition(std::string_view& rest, int64_t& pos) {
  size_t n = 0;
  while (n < rest.size() && isDigit(rest[n])) ++n;
  if (n == 0) return false;
  if (!readNumber(rest.substr(0, n), pos)) pos = INT64_MAX;
  rest.remove_prefix(n);
  return true;
}

// "YYYY-MM" from the front of rest: the month it names.
std::optional<DateRange> takeMonth(std::string_view& rest) {
  int64_t year = 0;
  int64_t month = 0;
  if (rest.size() < 7 || rest[4] != '-' ||
      !parseDigits(rest, 0, 4, year) || !parseDigits(rest, 5, 2, month) || month < 1 ||
      month > 12 || year < yearMin || year > yearMax)
    return std::nullopt;
  rest.remove_prefix(7);
  return DateRange{year * 10000 + month * 100 + 1, monthEnd(year, month)};
}

}  // namespace

bool readPath(std::string_view path, std::string_view pattern, RoutePath& out) {
  out = {};
  for (const char p : pattern) {
    if (p == '*') {
      out.text = path;
      return true;
    }
    if (p == '#') {
      if (!takePosition(path, out.position)) return false;
    } else if (p == '@') {
      out.month = takeMonth(path);
      if (!out.month) return false;
    } else {
      if (path.empty() || path.front() != p) return false;
      path.remove_prefix(1);
    }
  }
  return path.empty();
}

std::optional<PeriodPrefix> takePeriodPrefix(std::string_view& path) {
  constexpr std::string_view start = "/p/";
  constexpr std::string_view future = "+future";
  if (!path.starts_with(start)) return std::nullopt;
  const size_t end = path.find('/', start.size());
  if (end == std::string_view::npos) return std::nullopt;
  PeriodPrefix prefix{path.substr(start.size(), end - start.size())};
  if (prefix.period.ends_with(future)) {
    prefix.period.remove_suffix(future.size());
    prefix.future = true;
  }
  path.remove_prefix(end);
  return prefix;
}

ReportRequest reportOf(const RouteCall& call) { return reportRequest(call.app, call.period); }

std::optional<ReportRequest> monthReportOf(const RouteCall& call) {
  const std::optional<DateRange>& month = call.path.month;
  if (!month) return std::nullopt;
  const ReportRequest request = narrowedTo(reportOf(call), *month);
  if (request.fromDate > request.toDate) return std::nullopt;
  return request;
}

void notFound(RouteCall& call) {
  call.answer.status = 404;
  call.answer.body = "Not found";
}

std::string decodeQuery(std::string_view query) {
  std::string out;
  out.reserve(query.size());
  for (size_t i = 0; i < query.size(); ++i) {
    const char c = query[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%' && i + 2 < query.size() && hexValue(query[i + 1]) >= 0 &&
               hexValue(query[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hexValue(query[i + 1]) * 16 + hexValue(query[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

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

}  // namespace murex
