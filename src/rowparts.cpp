// The widths come from the values rather than from every row's text: an amount's text grows
// with its size, so the largest and the most negative figures write the widest cells, and
// a stretch of rows is all that is ever written.
#include "rowparts.h"

#include <algorithm>
#include <string>

#include "datum.h"
#include "json.h"
#include "htmlreport.h"
#include "rows.h"

namespace murex {

namespace {

void keepLonger(std::string& longest, std::string text) {
  if (text.size() > longest.size()) longest = std::move(text);
}

void appendRow(std::string& out, const ReportRow& r) {
  out += '[';
  out += std::to_string(r.splitPos);
  for (const std::string_view cell :
       {std::string_view(r.date), std::string_view(r.debit), std::string_view(r.credit),
        std::string_view(r.balance), std::string_view(r.descr), r.classR, r.classB}) {
    out += ',';
    appendJsonString(out, cell);
  }
  out += ']';
}

}  // namespace

std::string accountRowPart(const ReportRequest& req, int64_t accountPos, std::string_view filter,
                           int64_t from, int64_t to, bool withFrame) {
  from = std::max<int64_t>(from, 0);
  std::string out;
  // About the size of the rows asked for, so that a long part is not copied as it grows.
  const int64_t most = std::ssize(req.ledger.accountSplits[accountPos]) + 3;
  out.reserve(static_cast<size_t>(std::clamp<int64_t>(std::min(to, most) - from, 0, most)) * 96);
  int64_t count = 0;
  // The largest figures of each column, and the most negative balance.
  RowValues large{.date = req.fromDate, .held = true};
  RowValues small{.date = req.fromDate, .held = true};
  Datum lastDate = -1;
  std::string date;
  visitAccountRows(req, accountPos, filter, [&](const RowValues& v) {
    if (count >= from && count < to) {
      appendRow(out, accountReportRow(req, v, filter));
      out += '\n';
    }
    ++count;
    large.debit = std::max(large.debit, v.debit);
    large.credit = std::max(large.credit, v.credit);
    if (v.held) {
      large.balance = std::max(large.balance, v.balance);
      small.balance = std::min(small.balance, v.balance);
    }
    if (v.date != 0 && v.date != lastDate) {
      lastDate = v.date;
      keepLonger(date, formatDatum(v.date, req.dateFormat));
    }
  });
  ReportRow widest = accountReportRow(req, large, filter);
  keepLonger(widest.balance, accountReportRow(req, small, filter).balance);
  out += "{\"from\":";
  out += std::to_string(std::min(from, count));
  out += ",\"count\":";
  out += std::to_string(count);
  out += ",\"widest\":[";
  const char* comma = "";
  for (const std::string_view text : {date, widest.debit, widest.credit, widest.balance}) {
    out += comma;
    appendJsonString(out, text);
    comma = ",";
  }
  out += ']';
  if (withFrame) {
    out += ",\"frame\":";
    appendJsonString(out, accountFrame(req, accountPos));
  }
  out += "}\n";
  return out;
}

}  // namespace murex
