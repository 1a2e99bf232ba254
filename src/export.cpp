// The exports take the same values as the console tables (the queries, rows and the monthly
// view) and write them without any of the display forms.
#include "export.h"

#include <cassert>

#include "account.h"
#include "balances.h"
#include "inventory.h"
#include "json.h"
#include "monthlyreport.h"
#include "queries.h"
#include "rows.h"

namespace murex {

namespace {

using Type = ExportCell::Type;

ExportCell text(std::string_view s) { return {.type = Type::Text, .text = std::string(s)}; }
ExportCell number(Money m) { return {.type = Type::Number, .number = m}; }
ExportCell empty() { return {}; }
ExportCell date(Datum d) { return d == 0 ? empty() : text(formatDatum(d, "y-m-d")); }

std::string plainNumber(Money m) { return formatMoney(m, "#.##"); }

void periodFields(ExportTable& t, const ReportRequest& req, std::string_view report) {
  t.title.emplace_back("report", text(report));
  t.title.emplace_back("file", text(req.fileLabel));
  t.title.emplace_back("period_start", date(req.fromDate));
  t.title.emplace_back("period_end", date(req.toDate));
}

ExportCell filterField(std::string_view filter) { return filter.empty() ? empty() : text(filter); }

std::string_view rowLabel(RowKind kind) {
  // In the order of RowKind.
  static constexpr std::string_view labels[] = {"opening", "filter", "split", "sums", "change"};
  return labels[static_cast<size_t>(kind)];
}

// The cells of a transaction row that accounts and kinds share: the label, the date and the
// two sides. An opening row has no movement and a filter row no figures.
std::vector<ExportCell> rowStart(const RowValues& v) {
  const bool moves = v.kind != RowKind::Opening && v.kind != RowKind::Filter;
  return {text(rowLabel(v.kind)), date(v.date), moves ? number(v.debit) : empty(),
          moves ? number(v.credit) : empty()};
}

std::string kindPath(const Ledger& ledger, int64_t kindPos) {
  const Kind& kind = ledger.kinds[kindPos];
  return accountPath(ledger.accounts, kind.accountPos).namePath + ":" + kind.name;
}

// A field as RFC 4180 has it: quoted only when it holds a comma, a quote or a line end.
void appendCsvField(std::string& out, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += field;
    return;
  }
  out += '"';
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// A text cell, which a spreadsheet must show and never run: one that it would read as a
// formula gets a leading apostrophe, and bytes that are not UTF-8 become U+FFFD.
void appendCsvText(std::string& out, std::string_view text) {
  std::string cell;
  cell.reserve(text.size() + 1);
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
    cell += '\'';
  appendWellFormed(cell, text);
  appendCsvField(out, cell);
}

void appendCsvCell(std::string& out, const ExportCell& c) {
  switch (c.type) {
    case Type::Empty:
      break;
    case Type::Text:
      appendCsvText(out, c.text);
      break;
    case Type::Number:
      out += plainNumber(c.number);
      break;
  }
}

void appendJsonValue(std::string& out, const ExportCell& c) {
  switch (c.type) {
    case Type::Empty:
      out += "null";
      break;
    case Type::Text:
      appendJsonString(out, c.text);
      break;
    case Type::Number:
      out += plainNumber(c.number);
      break;
  }
}

}  // namespace

std::string csvText(const ExportTable& table) {
  std::string out;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) out += ',';
    appendCsvField(out, table.columns[i]);
  }
  out += "\r\n";
  for (const std::vector<ExportCell>& row : table.rows) {
    assert(row.size() == table.columns.size());
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) out += ',';
      appendCsvCell(out, row[i]);
    }
    out += "\r\n";
  }
  return out;
}

std::string jsonText(const ExportTable& table) {
  std::string out = "{\n";
  for (const auto& [name, value] : table.title) {
    out += "  ";
    appendJsonString(out, name);
    out += ": ";
    appendJsonValue(out, value);
    out += ",\n";
  }
  out += "  \"rows\": [";
  for (size_t r = 0; r < table.rows.size(); ++r) {
    out += r == 0 ? "\n    {" : ",\n    {";
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (i > 0) out += ", ";
      appendJsonString(out, table.columns[i]);
      out += ": ";
      appendJsonValue(out, table.rows[r][i]);
    }
    out += '}';
  }
  out += table.rows.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

ExportTable accountsExport(const ReportRequest& req) {
  const Ledger& ledger = req.ledger;
  assert(canReport(ledger));
  ExportTable t;
  periodFields(t, req, "accounts");
  t.columns = {"account", "description", "debit", "credit", "end_balance"};
  const AccountBalances balances = accountBalances(req);
  for (const AccountBalance& b : balances.rows) {
    t.rows.push_back({text(accountPath(ledger.accounts, b.accountPos).namePath),
                      text(ledger.accounts[b.accountPos].description), number(b.debit),
                      number(b.credit), number(b.balance)});
  }
  t.title.emplace_back("profit_loss", number(balances.profit.profit));
  return t;
}

ExportTable accountExport(const ReportRequest& req, int64_t accountPos, std::string_view filter) {
  const Ledger& ledger = req.ledger;
  ExportTable t;
  periodFields(t, req, "account");
  t.title.emplace_back("account", text(accountPath(ledger.accounts, accountPos).namePath));
  t.title.emplace_back("description", text(ledger.accounts[accountPos].description));
  t.title.emplace_back(
      "type", text(accountTypeName(accountType(ledger.accounts, accountPos).effective)));
  t.title.emplace_back("filter", filterField(filter));
  t.columns = {"row", "date", "debit", "credit", "balance", "description", "comment"};
  for (const RowValues& v : accountRowValues(req, accountPos, filter)) {
    std::vector<ExportCell> row = rowStart(v);
    row.push_back(v.held ? number(v.balance) : empty());
    row.push_back(v.kind == RowKind::Filter ? text(filter) : text(v.description));
    row.push_back(text(v.comment));
    t.rows.push_back(std::move(row));
  }
  return t;
}

ExportTable inventoryExport(const ReportRequest& req) {
  const Ledger& ledger = req.ledger;
  assert(canReport(ledger));
  ExportTable t;
  periodFields(t, req, "inventory");
  t.columns = {"kind", "description", "debit", "credit", "balance", "avg_price", "value"};
  for (const KindBalance& b : kindBalances(req)) {
    const KindSums& s = b.sums;
    t.rows.push_back({text(kindPath(ledger, b.kindPos)), text(ledger.kinds[b.kindPos].description),
                      number(s.itemsIn), number(s.itemsOut), number(s.items),
                      number(averagePrice(s.money, s.items)), number(s.money)});
  }
  return t;
}

ExportTable kindExport(const ReportRequest& req, int64_t kindPos, std::string_view filter) {
  const Ledger& ledger = req.ledger;
  ExportTable t;
  periodFields(t, req, "kind");
  t.title.emplace_back("kind", text(kindPath(ledger, kindPos)));
  t.title.emplace_back("description", text(ledger.kinds[kindPos].description));
  t.title.emplace_back("filter", filterField(filter));
  t.columns = {"row",       "date",  "debit",       "credit", "balance",
               "avg_price", "value", "description", "comment"};
  for (const RowValues& v : kindRowValues(req, kindPos, filter)) {
    std::vector<ExportCell> row = rowStart(v);
    row.push_back(v.held ? number(v.balance) : empty());
    row.push_back(v.held ? number(averagePrice(v.value, v.balance)) : empty());
    row.push_back(v.held ? number(v.value) : empty());
    row.push_back(v.kind == RowKind::Filter ? text(filter) : text(v.description));
    row.push_back(text(v.comment));
    t.rows.push_back(std::move(row));
  }
  return t;
}

ExportTable monthlyExport(const ReportRequest& req, int64_t accountPos, bool balances,
                          std::string_view filter) {
  const Ledger& ledger = req.ledger;
  const MonthlyView view = monthlyView(req, accountPos, balances, filter);
  ExportTable t;
  periodFields(t, req, "monthly");
  t.title.emplace_back("shown", text(balances ? "end_balance" : "change"));
  t.title.emplace_back("account", accountPos < 0
                                      ? empty()
                                      : text(accountPath(ledger.accounts, accountPos).namePath));
  t.title.emplace_back("filter", filterField(filter));
  t.columns = {"account"};
  for (const DateRange& m : view.months) t.columns.push_back(monthKey(m));
  t.columns.emplace_back("total");
  if (view.hasClosing) t.columns.emplace_back("closing");
  for (const MonthlyRow& r : view.rows) {
    std::vector<ExportCell> row = {
        text(r.accountPos < 0 ? "Profit/(Loss)"
                              : accountPath(ledger.accounts, r.accountPos).namePath)};
    for (const Money m : r.months) row.push_back(number(m));
    row.push_back(number(r.total));
    if (view.hasClosing) row.push_back(number(r.closing));
    t.rows.push_back(std::move(row));
  }
  return t;
}

}  // namespace murex
