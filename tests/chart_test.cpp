// chart: the chart routes' figures against the reports and queries of the same ledger.
#include "chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "account.h"
#include "ledger_text.h"
#include "queries.h"
#include "htmlreport.h"
#include "web.h"

namespace murex {
namespace {

// ---- A small JSON reader: enough for the charts' documents (no floats, no escapes but \").

struct Json {
  std::variant<std::monostate, int64_t, std::string, std::vector<Json>, std::map<std::string, Json>>
      v;
  const Json& operator[](const std::string& key) const {
    return std::get<std::map<std::string, Json>>(v).at(key);
  }
  const Json& operator[](size_t i) const { return std::get<std::vector<Json>>(v).at(i); }
  size_t size() const { return std::get<std::vector<Json>>(v).size(); }
  int64_t num() const { return std::get<int64_t>(v); }
  const std::string& str() const { return std::get<std::string>(v); }
};

Json readJson(std::string_view text, size_t& i) {
  while (text[i] == ' ') ++i;
  Json j;
  if (text[i] == '{') {
    std::map<std::string, Json> m;
    ++i;
    while (text[i] != '}') {
      const std::string key = readJson(text, i).str();
      EXPECT_EQ(text[i], ':');
      ++i;
      m[key] = readJson(text, i);
      if (text[i] == ',') ++i;
    }
    ++i;
    j.v = std::move(m);
  } else if (text[i] == '[') {
    std::vector<Json> a;
    ++i;
    while (text[i] != ']') {
      a.push_back(readJson(text, i));
      if (text[i] == ',') ++i;
    }
    ++i;
    j.v = std::move(a);
  } else if (text[i] == '"') {
    std::string s;
    for (++i; text[i] != '"'; ++i) {
      if (text[i] == '\\') ++i;
      s += text[i];
    }
    ++i;
    j.v = std::move(s);
  } else {
    size_t used = 0;
    j.v = static_cast<int64_t>(std::stoll(std::string(text.substr(i, 24)), &used));
    i += used;
  }
  return j;
}

Json parseJson(std::string_view text) {
  size_t i = 0;
  Json j = readJson(text, i);
  EXPECT_EQ(i, text.size()) << text;
  return j;
}

// ---- The routes

// Accounts: 0 Bank, 1 Card (L), 2 Equity, 3 Income, 4 Salary, 5 Gains, 6 Expenses, 7 Rent,
// 8 Food; kind 0 is Fund:ACME held in Bank's sibling 9 Fund.
constexpr std::string_view book =
    "2024-01-01 Opening\n"
    "  Bank 1000 ; @A\n"
    "  Card -50 ; @L\n"
    "  Equity ; @C\n"
    "  Income 0 ; @I\n"
    "    Salary 0\n"
    "    Gains 0\n"
    "  Expenses 0 ; @E\n"
    "    Rent 0\n"
    "    Food 0 ; Groceries\n"
    "  Fund 0 ; @A\n"
    "  Fund:ACME 10@5\n"
    "2024-01-25 Salary\n"
    "  Salary -2000\n"
    "  Bank\n"
    "2024-02-01 Rent\n"
    "  Rent 800\n"
    "  Bank\n"
    "2024-02-03 Market ; weekly\n"
    "  Food 45.50\n"
    "  Card\n"
    "2024-02-20 Refund\n"
    "  Food -5.25 ; returned bottles\n"
    "  Bank\n"
    "2024-03-10 Buy\n"
    "  Fund:ACME 4@6\n"
    "  Bank\n"
    "2024-04-02 Sell\n"
    "  Fund:ACME -6@\n"
    "  Bank 40\n"
    "  Gains\n"
    "2024-05-01 Rent\n"
    "  Rent 800\n"
    "  Bank\n";

App appOf(std::string text, Datum from = 20240101, Datum to = 20241231) {
  return reportingApp(text, from, to, "book.ledger", 2024);
}

WebAnswer get(App& app, std::string_view target) {
  http::Request request;
  const size_t q = target.find('?');
  request.path = std::string(target.substr(0, q));
  if (q != std::string_view::npos) request.query = std::string(target.substr(q + 1));
  return webCallback(app, request);
}

Json chartOf(App& app, std::string_view target) {
  const WebAnswer a = get(app, target);
  EXPECT_EQ(a.status, 200) << target;
  EXPECT_EQ(*a.headers.find("content-type"), "application/json");
  return parseJson(a.body);
}

// The amount texts of a report's balance column, in row order.
std::vector<std::string> balanceColumn(const std::string& rows) {
  std::vector<std::string> out;
  for (size_t at = rows.find("<tr"); at != std::string::npos; at = rows.find("<tr", at + 1)) {
    size_t cell = at;
    for (int k = 0; k < 4; ++k) cell = rows.find("<td", cell + 1);
    const size_t open = rows.find('>', cell) + 1;
    std::string text = rows.substr(open, rows.find("</td>", open) - open);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out.push_back(text);
  }
  return out;
}

TEST(ChartRoutes, AnAccountsLineEndsAtItsReportsLastBalance) {
  struct Case {
    int64_t account;
    Datum from, to;
    std::string filter;
  };
  const Case cases[] = {{0, 20240101, 20241231, ""}, {0, 20240201, 20240331, ""},
                        {8, 20240101, 20241231, ""}, {1, 20240101, 20241231, ""},
                        {0, 20240101, 20241231, "rent"}, {7, 20240601, 20241231, ""}};
  for (const Case& c : cases) {
    App app = appOf(std::string(book), c.from, c.to);
    const std::string target = "/chart/account/" + std::to_string(c.account) + "?w=500" +
                               (c.filter.empty() ? "" : "&f=" + c.filter);
    const Json chart = chartOf(app, target);
    const Json& points = chart["series"][0]["points"];
    const std::vector<std::string> shown =
        balanceColumn(accountRows(reportRequest(app), c.account, c.filter));
    // The rows: an opening (or filter) row, the splits, then sums and change.
    ASSERT_GE(shown.size(), 3u);
    ASSERT_EQ(points.size(), shown.size() - (c.filter.empty() ? 2 : 3)) << target;
    const Json& last = points[points.size() - 1];
    EXPECT_EQ(last[1].num(), accountSums(*app.ledger, c.account, c.from, c.to).balance);
    EXPECT_EQ(last[2].str(), shown[shown.size() - 3]) << target;
    if (c.filter.empty()) {
      EXPECT_EQ(points[0][1].num(), accountBalanceAt(*app.ledger, c.account, c.from));
      EXPECT_EQ(points[0][4].num(), -1);
    }
    EXPECT_EQ(chart["count"].num(), static_cast<int64_t>(points.size()));
  }
}

TEST(ChartRoutes, ABusyAccountIsThinnedToItsColumnsExtremes) {
  std::string text(book);
  // Four thousand movements over June: the line of a busy account.
  for (int i = 0; i < 4000; ++i) {
    const int day = 1 + i * 30 / 4000;
    const int cents = (i * 7919) % 5000 + 1;
    const std::string twoDigits = std::to_string(100 + cents % 100).substr(1);
    text += "2024-06-" + std::string(day < 10 ? "0" : "") + std::to_string(day) + " Move\n";
    text += "  Food " + std::string(i % 3 ? "" : "-") + std::to_string(cents / 100) + "." +
            twoDigits + "\n  Card\n";
  }
  App app = appOf(text, 20240601, 20240630);
  Money balance = 0;
  Money low = INT64_MAX, high = INT64_MIN;
  for (const int64_t sp : app.ledger->accountSplits[8]) {
    if (app.ledger->transactions[app.ledger->splits[sp].traPos].date < 20240601) continue;
    balance = app.ledger->splits[sp].balance;
    low = std::min(low, balance);
    high = std::max(high, balance);
  }
  const Json chart = chartOf(app, "/chart/account/8?w=60");
  const Json& points = chart["series"][0]["points"];
  EXPECT_LE(points.size(), 60u * 4 + 1);
  EXPECT_EQ(chart["count"].num(), 4001);
  Money seenLow = INT64_MAX, seenHigh = INT64_MIN;
  for (size_t i = 1; i < points.size(); ++i) {
    seenLow = std::min(seenLow, points[i][1].num());
    seenHigh = std::max(seenHigh, points[i][1].num());
  }
  EXPECT_EQ(seenLow, low);
  EXPECT_EQ(seenHigh, high);
  EXPECT_EQ(points[points.size() - 1][1].num(), balance);
}

TEST(ChartRoutes, TheMonthlyBarsAddUpToThePeriodsSums) {
  struct Case {
    Datum from, to;
    size_t months;
  };
  for (const Case c : {Case{20240101, 20241231, 12}, Case{20240101, 20240331, 3},
                       Case{20240215, 20240215, 1}, Case{20240401, 20240630, 3}}) {
    App app = appOf(std::string(book), c.from, c.to);
    const Json chart = chartOf(app, "/chart/balance");
    ASSERT_EQ(chart["months"].size(), c.months);
    const Ledger& ledger = *app.ledger;
    const Sums income = subtreeSums(ledger, 3, c.from, c.to);
    const Sums expenses = subtreeSums(ledger, 6, c.from, c.to);
    Money incomeSum = 0, expenseSum = 0, profitSum = 0;
    for (size_t m = 0; m < c.months; ++m) {
      incomeSum += chart["income"][m][0].num();
      expenseSum += chart["expenses"][m][0].num();
      profitSum += chart["profit"][m][0].num();
      EXPECT_EQ(chart["profit"][m][0].num(),
                chart["income"][m][0].num() - chart["expenses"][m][0].num());
    }
    EXPECT_EQ(incomeSum, income.credit);
    EXPECT_EQ(expenseSum, expenses.debit);
    EXPECT_EQ(profitSum, income.credit - expenses.debit);
    EXPECT_EQ(chart["sums"]["profit"][0].num(), profitSum);
    // The net worth at the period's end: bank, card and fund.
    const Money worth = subtreeSums(ledger, 0, c.from, c.to).balance +
                        subtreeSums(ledger, 1, c.from, c.to).balance +
                        subtreeSums(ledger, 9, c.from, c.to).balance;
    EXPECT_EQ(chart["worth"][c.months - 1][0].num(), worth);
  }
}

TEST(ChartRoutes, TheStackedPartsAddUpToTheirAccount) {
  App app = appOf(std::string(book));
  const Json chart = chartOf(app, "/chart/stack/6");
  const Json& series = chart["series"];
  ASSERT_EQ(series.size(), 2u);
  EXPECT_EQ(series[0]["name"].str(), "Rent");
  EXPECT_EQ(series[1]["name"].str(), "Groceries");
  for (size_t m = 0; m < 12; ++m) {
    EXPECT_EQ(series[0]["values"][m][0].num() + series[1]["values"][m][0].num(),
              chart["totals"][m][0].num());
  }
  // Expenses gather their debits: the refund of February is not taken off.
  EXPECT_EQ(series[1]["values"][1][0].num(), 4550);
  EXPECT_EQ(series[1]["total"][1].str(), "45.50");
  const Json income = chartOf(app, "/chart/stack/3");
  EXPECT_EQ(income["series"][0]["name"].str(), "Salary");
  EXPECT_EQ(income["series"][0]["total"][0].num(), 200000);
}

TEST(ChartRoutes, AKindsLineHoldsItsBookValueAndItems) {
  App app = appOf(std::string(book));
  const Json chart = chartOf(app, "/chart/inv/0?w=300");
  const Json& value = chart["series"][0]["points"];
  const Json& items = chart["series"][1]["points"];
  ASSERT_EQ(value.size(), 3u);
  const KindSums end = kindSums(*app.ledger, 0, 20240101, 20241231);
  EXPECT_EQ(value[0][1].num(), 5000);
  EXPECT_EQ(items[0][1].num(), 1000);
  EXPECT_EQ(value[2][1].num(), end.money);
  EXPECT_EQ(items[2][1].num(), end.items);
  EXPECT_EQ(items[2][2].str(), "8");
}

TEST(ChartRoutes, WhatIsNotThereIsNotFound) {
  App app = appOf(std::string(book));
  for (const std::string_view target : {"/chart/account/12", "/chart/account/x", "/chart/inv/1",
                                        "/chart/stack/99", "/chart/", "/chart/balance/1"}) {
    EXPECT_EQ(get(app, target).status, 404) << target;
  }
  App manual;
  EXPECT_EQ(get(manual, "/chart/balance").status, 404);
  // A width out of reason is brought back into it.
  EXPECT_EQ(get(app, "/chart/account/0?w=99999999999999999999999").status, 200);
  EXPECT_EQ(get(app, "/chart/account/0?w=0").status, 200);
}

TEST(ChartRoutes, APeriodThatHasNotBegunIsOneEmptyDay) {
  // The future hidden, a period starting tomorrow ends today: before it starts.
  const struct {
    Datum from, to;
  } periods[] = {{20240102, 20240101}, {20240601, 20240101}};
  for (const auto& p : periods) {
    App app = appOf(std::string(book), p.from, p.to);
    for (const std::string_view target : {"/chart/account/0", "/chart/account/0?w=40",
                                          "/chart/inv/0", "/chart/balance", "/chart/expenses",
                                          "/chart/stack/6"}) {
      const WebAnswer a = get(app, target);
      EXPECT_EQ(a.status, 200) << target << " " << p.from;
      if (target.starts_with("/chart/account") || target.starts_with("/chart/inv")) {
        EXPECT_EQ(parseJson(a.body)["days"].num(), 1) << target;
      }
    }
  }
}

TEST(ChartRoutes, NamesAreWrittenAsJsonStrings) {
  std::string text(book);
  // Bytes that are not UTF-8 become U+FFFD, as in the JSON export.
  text.replace(text.find("; Groceries"), 11, "; \"Food\" \\ more caf\xE9 \xE2\x82");
  App app = appOf(text);
  const Json chart = chartOf(app, "/chart/stack/6");
  EXPECT_EQ(chart["series"][1]["name"].str(),
            "\"Food\" \\ more caf\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace murex
