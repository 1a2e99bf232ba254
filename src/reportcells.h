// reportcells: the texts of a report's figures in the request's formats (money, items, an
// average price, a date) and the cells of a register's row, as the console and the viewer
// show them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reportrequest.h"
#include "rows.h"

namespace murex {

// What the inventory reports' figures count.
inline constexpr std::string_view unitsText =
    "Number of items (for Debit, Credit and Balance) and Money (for Average)";

std::string moneyText(const ReportRequest& req, Money m);
// The same without the blank that aligns it in a column: a figure in a sentence.
std::string moneyWord(const ReportRequest& req, Money m);
std::string itemsText(const ReportRequest& req, Items n);
// money / items, as averagePrice finds it.
std::string averageText(const ReportRequest& req, Money money, Items items);
std::string dateText(const ReportRequest& req, Datum d);

// One row of a transaction report as the texts of its cells, the description HTML-escaped
// (the console has always shown it so); a class for the row and one for the balance cell,
// or empty. A filter row's description is left to the form that writes it.
struct ReportRow {
  int64_t splitPos = -1;
  std::string date{}, debit{}, credit{}, balance{}, avg{};
  std::string_view classR{}, classB{};
  std::string descr{};
};
ReportRow accountRowCells(const ReportRequest& req, const RowValues& v);
ReportRow kindRowCells(const ReportRequest& req, const RowValues& v);

}  // namespace murex
