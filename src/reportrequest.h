// reportrequest: what a report is asked for, as a value that the front ends (main, the
// viewer's routes) build: the ledger, the period chosen and the days the report covers, the
// formats of numbers and dates, the file's label. A report reads this and no other state.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "datum.h"
#include "ledger.h"

namespace murex {

// The days a chosen period gives the reports, as a value.
struct ShownPeriod {
  std::string name;  // without the year: "Q3"
  int64_t year = 0;
  bool future = false;
  Datum firstDate = 0;  // the ledger's first and last dates
  Datum lastDate = 0;
  Datum fromDate = 0;  // first and last day the reports cover
  Datum toDate = 0;
};

struct ReportRequest {
  const Ledger& ledger;  // one that reports: canReport holds
  ShownPeriod period{};  // as the period menu shows it
  Datum fromDate = 0;    // the first and last day the report covers: the period's or fewer
  Datum toDate = 0;
  std::string_view numberPattern{};  // "###,###.##"
  std::string_view dateFormat{};   // "y-m-d"
  std::string_view fileLabel{};    // the ledger's file name as given
};

// The same request for the days of part that it covers (a month of the period).
inline ReportRequest narrowedTo(ReportRequest request, const DateRange& part) {
  request.fromDate = std::max(request.fromDate, part.first);
  request.toDate = std::min(request.toDate, part.last);
  return request;
}

}  // namespace murex
