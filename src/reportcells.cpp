#include "reportcells.h"

#include "amount.h"
#include "html.h"

namespace murex {

std::string moneyText(const ReportRequest& req, Money m) {
  return reportMoney(m, req.numberPattern, req.ledger.moneyWhole);
}

std::string moneyWord(const ReportRequest& req, Money m) {
  std::string s = moneyText(req, m);
  while (!s.empty() && (s.back() == ' ' || (s.back() >= '\t' && s.back() <= '\r'))) s.pop_back();
  return s;
}

std::string itemsText(const ReportRequest& req, Items n) {
  return reportMoney(n, req.numberPattern, req.ledger.itemsWhole);
}

std::string averageText(const ReportRequest& req, Money money, Items items) {
  const Money avg = averagePrice(money, items);
  return reportMoney(avg, req.numberPattern, req.ledger.moneyWhole && avg % 100 == 0);
}

std::string dateText(const ReportRequest& req, Datum d) { return formatDatum(d, req.dateFormat); }

namespace {

// The cells every transaction report shares; the split rows' description comes with its
// comment after joint.
ReportRow rowCells(const ReportRequest& req, const RowValues& v, std::string_view joint) {
  ReportRow r{.splitPos = v.splitPos,
              .debit = moneyText(req, v.debit),
              .credit = moneyText(req, v.credit),
              .balance = "- ",
              .avg = "- "};
  switch (v.kind) {
    case RowKind::Split: {
      r.date = dateText(req, v.date);
      std::string text(v.description);
      if (!v.comment.empty()) {
        text += joint;
        text += v.comment;
      }
      r.descr = escapeHtml(text);
      break;
    }
    case RowKind::Opening:
    case RowKind::Filter:
      break;
    case RowKind::Sums:
      r.descr = "Sums";
      break;
    case RowKind::Change:
      r.descr = "Change";
      break;
  }
  if (v.kind != RowKind::Split) r.classR = "info";
  if (v.warning) r.classB = "warning";
  return r;
}

}  // namespace

ReportRow accountRowCells(const ReportRequest& req, const RowValues& v) {
  ReportRow r = rowCells(req, v, ": ");
  if (v.held) r.balance = moneyText(req, v.balance);
  if (v.kind == RowKind::Opening) {
    r.date = dateText(req, v.date);
    r.descr = "Period opening balance";
  }
  return r;
}

ReportRow kindRowCells(const ReportRequest& req, const RowValues& v) {
  ReportRow r = rowCells(req, v, " ; ");
  r.debit = itemsText(req, v.debit);
  r.credit = itemsText(req, v.credit);
  if (v.held) {
    r.balance = itemsText(req, v.balance);
    r.avg = averageText(req, v.value, v.balance);
  }
  if (v.kind == RowKind::Opening) r.descr = "Opening balance";
  return r;
}

}  // namespace murex
