// The charts' figures. Every amount is sent twice: as cents (a JSON integer, for placing
// pixels) and as the text the reports write, so the page never formats or adds money.
#include "chart.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <vector>

#include "account.h"
#include "amount.h"
#include "datum.h"
#include "inventory.h"
#include "json.h"
#include "monthly.h"
#include "queries.h"
#include "reportcells.h"
#include "rows.h"
#include "template.h"

namespace murex {

namespace {


std::string decimal(int64_t n) { return std::to_string(n); }

// An amount as the reports write it, without the blank they keep for the parenthesis, and
// zero as a number rather than the tables' dash.
std::string amountText(const ReportRequest& req, Money m, bool whole) {
  if (m == 0) return whole ? "0" : formatMoney(0, req.numberPattern);
  std::string s = reportMoney(m, req.numberPattern, whole);
  if (s.back() == ' ') s.pop_back();
  return s;
}

// Money, or item counts (on the same scale), whole where the ledger has no cents at all.
std::string valueText(const ReportRequest& req, int64_t v, bool items) {
  return amountText(req, v, items ? req.ledger.itemsWhole : req.ledger.moneyWhole);
}

// A period that has not begun yet (it starts after today and the future is hidden) ends
// before it starts: it is drawn as one empty day.
int64_t periodDays(const ReportRequest& req) {
  return std::max<int64_t>(dayNumber(req.toDate) - dayNumber(req.fromDate) + 1, 1);
}

// Month starts inside the period, or for a period of two months or less every seventh day.
std::string xTicksJson(const ReportRequest& req) {
  const int64_t first = dayNumber(req.fromDate);
  const int64_t days = periodDays(req);
  std::string out = "[";
  const auto tick = [&](int64_t day, std::string_view label) {
    if (out.size() > 1) out += ',';
    out += '[';
    out += decimal(day);
    out += ',';
    appendJsonString(out, label);
    out += ']';
  };
  if (days <= 62) {
    for (int64_t day = 0; day < days; day += 7) {
      const Datum d = dateOfDayNumber(first + day);
      tick(day, std::string(monthName(monthOf(d))) + " " + decimal(dayOf(d)));
    }
  } else {
    Datum d = req.fromDate;
    if (dayOf(d) != 1) d = makeDatum(yearOf(d), monthOf(d) * 100 + 1);
    while (true) {
      const int64_t day = dayNumber(d) - first;
      if (day >= days) break;
      if (day >= 0) {
        std::string label(monthName(monthOf(d)));
        if (monthOf(d) == 1 || out.size() == 1) label += " " + decimal(yearOf(d));
        tick(day, label);
      }
      d = monthOf(d) == 12 ? makeDatum(yearOf(d) + 1, 101) : makeDatum(yearOf(d), monthOf(d) * 100 + 101);
    }
  }
  out += ']';
  return out;
}

// A line's axis reaches zero when zero is near (closer than the line's own span) or the line
// is flat; otherwise it hugs the line, so that the line's movements show.
std::string yTicksJson(const ReportRequest& req, Money low, Money high) {
  const __int128 span = static_cast<__int128>(high) - low;
  if (low > 0 && (low <= span || span == 0)) low = 0;
  if (high < 0 && (-static_cast<__int128>(high) <= span || span == 0)) high = 0;
  if (low == high) {
    if (high < INT64_MAX - 100) {
      high += 100;
    } else {
      low -= 100;
    }
  }
  const std::vector<Money> ticks = axisTicks(low, high, 4);
  const bool whole = std::all_of(ticks.begin(), ticks.end(), [](Money t) { return t % 100 == 0; });
  std::string out = "[";
  for (const Money t : ticks) {
    if (out.size() > 1) out += ',';
    out += '[';
    out += decimal(t);
    out += ',';
    appendJsonString(out, amountText(req, t, whole));
    out += ']';
  }
  out += ']';
  return out;
}

// What a screen reader says of a line: where it starts and ends, its lowest and highest.
std::string lineSummary(const ReportRequest& req, const std::vector<ChartPoint>& points,
                        const std::vector<std::string>& dates, bool items, std::string_view what) {
  if (points.empty()) return "No movements in the period.";
  const auto value = [&](const ChartPoint& p) { return items ? p.items : p.value; };
  size_t low = 0;
  size_t high = 0;
  for (size_t i = 1; i < points.size(); ++i) {
    if (value(points[i]) < value(points[low])) low = i;
    if (value(points[i]) > value(points[high])) high = i;
  }
  const auto text = [&](size_t i) { return valueText(req, value(points[i]), items); };
  if (value(points[low]) == value(points[high]))
    return fillNamed("$what stayed at $value.", {{"what", what}, {"value", text(0)}});
  return fillNamed("$what went from $first on $firstDate to $last on $lastDate; lowest $low on "
                   "$lowDate, highest $high on $highDate.",
                   {{"what", what},
                    {"first", text(0)},
                    {"firstDate", dates.front()},
                    {"last", text(points.size() - 1)},
                    {"lastDate", dates.back()},
                    {"low", text(low)},
                    {"lowDate", dates[low]},
                    {"high", text(high)},
                    {"highDate", dates[high]}});
}

// One series of a line chart: its name, its axis and its points [day, cents, text, date, spos].
std::string seriesJson(const ReportRequest& req, std::string_view name, const std::vector<ChartPoint>& points,
                       const std::vector<std::string>& dates, bool items) {
  const auto value = [&](const ChartPoint& p) { return items ? p.items : p.value; };
  Money low = points.empty() ? 0 : value(points.front());
  Money high = low;
  for (const ChartPoint& p : points) {
    low = std::min(low, value(p));
    high = std::max(high, value(p));
  }
  std::string out = "{\"name\":";
  appendJsonString(out, name);
  out += ",\"yticks\":";
  out += yTicksJson(req, low, high);
  out += ",\"points\":[";
  for (size_t i = 0; i < points.size(); ++i) {
    const ChartPoint& p = points[i];
    if (i > 0) out += ',';
    out += '[';
    out += decimal(p.day);
    out += ',';
    out += decimal(value(p));
    out += ',';
    appendJsonString(out, valueText(req, value(p), items));
    out += ',';
    appendJsonString(out, dates[i]);
    out += ',';
    out += decimal(p.splitPos);
    out += ']';
  }
  out += "]}";
  return out;
}

std::string lineChartJson(const ReportRequest& req, std::string_view title, std::string_view desc,
                          const std::string& series) {
  return fillNamed(
      "{\"title\":$title,\"desc\":$desc,\"from\":$from,\"to\":$to,\"days\":$days,"
      "\"xticks\":$xticks,\"series\":[$series]}",
      {{"title", jsonString(title)},
       {"desc", jsonString(desc)},
       {"from", jsonString(dateText(req, req.fromDate))},
       {"to", jsonString(dateText(req, req.toDate))},
       {"days", decimal(periodDays(req))},
       {"xticks", xTicksJson(req)},
       {"series", series}});
}

int64_t clampWidth(int64_t width) { return std::clamp<int64_t>(width, 40, 4000); }

std::vector<std::string> pointDates(const ReportRequest& req, const std::vector<ChartPoint>& points) {
  std::vector<std::string> dates;
  dates.reserve(points.size());
  const int64_t first = dayNumber(req.fromDate);
  for (const ChartPoint& p : points) dates.push_back(dateText(req, dateOfDayNumber(first + p.day)));
  return dates;
}

// [cents,"text"]
std::string amountJson(const ReportRequest& req, Money m) {
  std::string out = "[";
  out += decimal(m);
  out += ',';
  appendJsonString(out, valueText(req, m, false));
  out += ']';
  return out;
}

std::string monthLabel(const DateRange& month) {
  return std::string(monthName(monthOf(month.first)));
}

// The month-by-month charts' common fields: title, description, the period and its months.
std::string monthsHead(const ReportRequest& req, const MonthlyFigures& f, std::string_view title,
                       std::string_view desc) {
  std::string months = "[";
  for (const DateRange& m : f.months) {
    if (months.size() > 1) months += ',';
    months += "{\"label\":";
    appendJsonString(months, monthLabel(m));
    months += ",\"from\":";
    appendJsonString(months, dateText(req, m.first));
    months += ",\"to\":";
    appendJsonString(months, dateText(req, m.last));
    months += '}';
  }
  months += ']';
  return fillNamed("\"title\":$title,\"desc\":$desc,\"from\":$from,\"to\":$to,\"months\":$months",
                   {{"title", jsonString(title)},
                    {"desc", jsonString(desc)},
                    {"from", jsonString(dateText(req, req.fromDate))},
                    {"to", jsonString(dateText(req, req.toDate))},
                    {"months", months}});
}

std::string amountListJson(const ReportRequest& req, const std::vector<Money>& values) {
  std::string out = "[";
  for (const Money v : values) {
    if (out.size() > 1) out += ',';
    out += amountJson(req, v);
  }
  out += ']';
  return out;
}

Money sumOf(const std::vector<Money>& values) {
  Money total = 0;
  for (const Money v : values) total = moneyAdd(total, v);
  return total;
}

// The month with the largest value, for the description.
size_t largest(const std::vector<Money>& values) {
  return static_cast<size_t>(std::max_element(values.begin(), values.end()) - values.begin());
}

// The points of a report's rows that hold a balance: the opening row and the splits. A
// kind's point holds the book value, and the items held beside it.
std::vector<ChartPoint> rowPoints(const ReportRequest& req, const std::vector<RowValues>& rows, bool kind) {
  const int64_t first = dayNumber(req.fromDate);
  std::vector<ChartPoint> points;
  points.reserve(rows.size());
  for (const RowValues& r : rows) {
    if (!r.held) continue;
    points.push_back({.day = dayNumber(r.date) - first,
                      .splitPos = r.kind == RowKind::Split ? r.splitPos : -1,
                      .value = kind ? r.value : r.balance,
                      .items = kind ? r.balance : 0});
  }
  return points;
}

}  // namespace

std::string accountChart(const ReportRequest& req, int64_t accountPos, int64_t width,
                         std::string_view filter) {
  const Ledger& ledger = req.ledger;
  assert(canReport(ledger) && accountPos >= 0 && accountPos < std::ssize(ledger.accounts));
  // The rows the table shows: filtered, there is no opening row.
  std::vector<ChartPoint> points =
      rowPoints(req, accountRowValues(req, accountPos, filter), false);
  const int64_t count = std::ssize(points);
  points = thinPoints(points, periodDays(req), clampWidth(width));
  const std::vector<std::string> dates = pointDates(req, points);
  std::string title = "Balance of " + accountPath(ledger.accounts, accountPos).displayPath;
  if (!filter.empty()) title += ", filtered";
  std::string desc = lineSummary(req, points, dates, false, "The balance");
  desc += " " + decimal(filter.empty() ? count - 1 : count) + " splits.";
  std::string json =
      lineChartJson(req, title, desc, seriesJson(req, "Balance", points, dates, false));
  json.pop_back();
  json += ",\"count\":" + decimal(count) + "}";
  return json;
}

std::string kindChart(const ReportRequest& req, int64_t kindPos, int64_t width) {
  const Ledger& ledger = req.ledger;
  assert(canReport(ledger) && kindPos >= 0 && kindPos < std::ssize(ledger.kinds));
  std::vector<ChartPoint> points = rowPoints(req, kindRowValues(req, kindPos, ""), true);
  const int64_t count = std::ssize(points);
  points = thinPoints(points, periodDays(req), clampWidth(width));
  const std::vector<std::string> dates = pointDates(req, points);
  std::string desc = lineSummary(req, points, dates, false, "The book value");
  desc += " ";
  desc += lineSummary(req, points, dates, true, "The items held");
  desc += " " + decimal(count - 1) + " movements.";
  std::string json = lineChartJson(
      req, "Book value and items held of " + kindLabel(ledger.kinds, kindPos), desc,
      seriesJson(req, "Book value", points, dates, false) + "," +
          seriesJson(req, "Items held", points, dates, true));
  json.pop_back();
  json += ",\"count\":" + decimal(count) + "}";
  return json;
}

std::string balanceChart(const ReportRequest& req) {
  const Ledger& ledger = req.ledger;
  assert(canReport(ledger));
  const MonthlyFigures f = monthlyFigures(ledger, req.fromDate, req.toDate);
  const size_t n = f.months.size();
  std::vector<Money> income(n, 0), expenses(n, 0), worth(n, 0);
  const Found incomeRoot = findAccountByType(ledger.accounts, 'I');
  const Found expenseRoot = findAccountByType(ledger.accounts, 'E');
  const std::vector<Money> profit = monthlyProfit(ledger, f);
  for (size_t i = 0; i < n; ++i) {
    if (incomeRoot.ok && expenseRoot.ok) {
      income[i] = f.at(incomeRoot.pos, i).credit;
      expenses[i] = f.at(expenseRoot.pos, i).debit;
    }
    // What is owned less what is owed: the top accounts of both kinds, sub-accounts included.
    for (int64_t a = 0; a < std::ssize(ledger.accounts); ++a) {
      const char type = accountType(ledger.accounts, a).effective;
      if (accountLevel(ledger.accounts, a) == 0 && (type == 'A' || type == 'L'))
        worth[i] = moneyAdd(worth[i], f.at(a, i).balance);
    }
  }
  Money flowLow = 0;
  Money flowHigh = 0;
  for (size_t i = 0; i < n; ++i) {
    flowHigh = std::max({flowHigh, income[i], profit[i]});
    flowLow = std::min({flowLow, moneyNeg(expenses[i]), profit[i]});
  }
  if (flowLow == flowHigh) flowHigh = 100;
  const Money worthLow = n == 0 ? 0 : *std::min_element(worth.begin(), worth.end());
  const Money worthHigh = n == 0 ? 0 : *std::max_element(worth.begin(), worth.end());

  std::string desc = fillNamed(
      "Income $income, expenses $expenses, profit or loss $profit over $count months.",
      {{"income", valueText(req, sumOf(income), false)},
       {"expenses", valueText(req, sumOf(expenses), false)},
       {"profit", valueText(req, sumOf(profit), false)},
       {"count", decimal(static_cast<int64_t>(n))}});
  if (n > 0) {
    desc += fillNamed(
        " Most income in $incomeMonth ($incomeTop), most expenses in $expenseMonth "
        "($expenseTop). Net worth $worthFirst at the end of $firstMonth, $worthLast at the end "
        "of $lastMonth.",
        {{"incomeMonth", monthLabel(f.months[largest(income)])},
         {"incomeTop", valueText(req, income[largest(income)], false)},
         {"expenseMonth", monthLabel(f.months[largest(expenses)])},
         {"expenseTop", valueText(req, expenses[largest(expenses)], false)},
         {"worthFirst", valueText(req, worth.front(), false)},
         {"firstMonth", monthLabel(f.months.front())},
         {"worthLast", valueText(req, worth.back(), false)},
         {"lastMonth", monthLabel(f.months.back())}});
  }
  return fillNamed(
      "{$head,\"income\":$income,\"expenses\":$expenses,\"profit\":$profit,\"worth\":$worth,"
      "\"flowticks\":$flowticks,\"worthticks\":$worthticks,\"sums\":{\"income\":$incomeSum,"
      "\"expenses\":$expenseSum,\"profit\":$profitSum}}",
      {{"head", monthsHead(req, f, "Income, expenses and profit per month; net worth", desc)},
       {"income", amountListJson(req, income)},
       {"expenses", amountListJson(req, expenses)},
       {"profit", amountListJson(req, profit)},
       {"worth", amountListJson(req, worth)},
       {"flowticks", yTicksJson(req, flowLow, flowHigh)},
       {"worthticks", yTicksJson(req, worthLow, worthHigh)},
       {"incomeSum", amountJson(req, sumOf(income))},
       {"expenseSum", amountJson(req, sumOf(expenses))},
       {"profitSum", amountJson(req, sumOf(profit))}});
}

std::string stackChart(const ReportRequest& req, int64_t accountPos) {
  const Ledger& ledger = req.ledger;
  assert(canReport(ledger) && accountPos >= 0 && accountPos < std::ssize(ledger.accounts));
  const MonthlyFigures f = monthlyFigures(ledger, req.fromDate, req.toDate);
  const size_t n = f.months.size();
  const AccountType type = accountType(ledger.accounts, accountPos);
  // What an account of the kind gathers: expenses and assets their debits, the others their
  // credits; so the closing of a year, which moves the other side, adds nothing.
  const auto gathered = [&](int64_t a, size_t i) {
    return type.positive ? f.at(a, i).debit : f.at(a, i).credit;
  };
  struct Part {
    std::string name;
    std::vector<Money> values;
    Money total = 0;
  };
  std::vector<Part> parts;
  const int64_t level = accountLevel(ledger.accounts, accountPos);
  for (int64_t a = accountPos + 1; a < std::ssize(ledger.accounts); ++a) {
    if (!isSubAccount(ledger.accounts, accountPos, a)) break;
    if (accountLevel(ledger.accounts, a) != level + 1) continue;
    Part part{std::string(accountDisplay(ledger.accounts[a])), std::vector<Money>(n, 0)};
    for (size_t i = 0; i < n; ++i) {
      part.values[i] = gathered(a, i);
      part.total = moneyAdd(part.total, part.values[i]);
    }
    if (part.total != 0) parts.push_back(std::move(part));
  }
  // What the account holds itself, beside its sub-accounts.
  Part own{"(" + std::string(accountDisplay(ledger.accounts[accountPos])) + " itself)",
           std::vector<Money>(n, 0)};
  std::vector<Money> totals(n, 0);
  for (size_t i = 0; i < n; ++i) {
    totals[i] = gathered(accountPos, i);
    Money rest = totals[i];
    for (const Part& p : parts) rest = moneySub(rest, p.values[i]);
    own.values[i] = rest;
    own.total = moneyAdd(own.total, rest);
  }
  if (own.total != 0) parts.push_back(std::move(own));
  // The largest first; beyond eight parts the smallest share one "Other" band.
  std::stable_sort(parts.begin(), parts.end(),
                   [](const Part& x, const Part& y) { return x.total > y.total; });
  constexpr size_t maxParts = 8;
  if (parts.size() > maxParts) {
    Part other{"Other", std::vector<Money>(n, 0)};
    for (size_t k = maxParts - 1; k < parts.size(); ++k) {
      for (size_t i = 0; i < n; ++i) other.values[i] = moneyAdd(other.values[i], parts[k].values[i]);
      other.total = moneyAdd(other.total, parts[k].total);
    }
    parts.resize(maxParts - 1);
    parts.push_back(std::move(other));
  }
  Money low = 0;
  Money high = 0;
  for (size_t i = 0; i < n; ++i) {
    Money up = 0;
    Money down = 0;
    for (const Part& p : parts) {
      if (p.values[i] > 0) {
        up = moneyAdd(up, p.values[i]);
      } else {
        down = moneyAdd(down, p.values[i]);
      }
    }
    high = std::max(high, up);
    low = std::min(low, down);
  }
  if (low == high) high = 100;
  const std::string name = accountPath(ledger.accounts, accountPos).displayPath;
  std::string desc = fillNamed("$name: $total over $count months.",
                               {{"name", name},
                                {"total", valueText(req, sumOf(totals), false)},
                                {"count", decimal(static_cast<int64_t>(n))}});
  std::string series = "[";
  for (const Part& p : parts) {
    if (series.size() > 1) series += ',';
    series += "{\"name\":";
    appendJsonString(series, p.name);
    series += ",\"total\":";
    series += amountJson(req, p.total);
    series += ",\"values\":";
    series += amountListJson(req, p.values);
    series += '}';
    desc += " " + p.name + " " + valueText(req, p.total, false) + ".";
  }
  series += ']';
  const std::string what = type.positive ? (type.effective == 'E' ? "Expenses" : "Debits")
                                         : (type.effective == 'I' ? "Income" : "Credits");
  // A root names its kind alone: "Expenses per month, by account".
  const std::string title =
      level == 0 && what == accountDisplay(ledger.accounts[accountPos])
          ? what + " per month, by account"
          : what + " per month: " + name + ", by sub-account";
  return fillNamed("{$head,\"account\":$account,\"series\":$series,\"totals\":$totals,\"yticks\":$yticks}",
                   {{"head", monthsHead(req, f, title, desc)},
                    {"account", decimal(accountPos)},
                    {"series", series},
                    {"totals", amountListJson(req, totals)},
                    {"yticks", yTicksJson(req, low, high)}});
}

}  // namespace murex
