// Fuzz target for the whole ledger: arbitrary bytes are normalised as the loader does and
// parsed; when the ledger can report, every console report and every HTML fragment is built
// on it for a few periods and filters. Only murex::Error may escape; anything else, or a
// sanitizer report, is a finding.
// An input whose first byte is below 8 picks the reading and writing settings with that byte
// (the rest is the ledger), so that decimal-comma and other date formats are covered too.
// fuzz-max-len: 4096
// fuzz-seeds: tests/fuzz/corpus/fuzz_ledger tests/ledgers/good
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app.h"
#include "fuzz_support.h"
#include "ledgertext.h"
#include "loader.h"
#include "parse.h"
#include "queries.h"
#include "token.h"
#include "htmlreport.h"
#include "textreport.h"

using namespace murex;

namespace {

struct Settings {
  bool decimalComma;
  const char* inDate;
  const char* outDate;
  const char* number;
};
constexpr Settings settingsTable[] = {
    {false, "y-m-d", "y-m-d", "###,###,###,###.##"},
    {true, "D.M.y", "d.m.Y", "###.###.###,##"},
    {false, "m/d/Y", "Y.M.D", "#.##"},
    {true, "y-m-d", "m/d/y", "###'###.##"},
    {false, "d.m.y", "D.M.Y", "#,##,###.##"},
    {true, "Y.M.D", "y-m-d", "###_###,##"},
    {false, "y-m-d", "d/m/Y", "###_###.##"},
    {true, "m/d/y", "y-m-d", "###.###,##"},
};

// Every report the console and the viewer offer, for the period chosen in app.
void allReports(const App& app, std::string_view text) {
  const Ledger& ledger = *app.ledger;
  const ReportRequest req = reportRequest(app);
  const std::string_view filters[] = {"", "a", "+e -x 1"};
  for (const bool ascii : {false, true}) tolerant([&] { balanceOfAccountsText(req, ascii); });
  tolerant([&] { balanceOfAccountsHtml(req); });
  tolerant([&] { balanceOfInventoryText(req); });
  tolerant([&] { balanceOfInventoryHtml(req); });
  for (int64_t a = 0; a < std::ssize(ledger.accounts); ++a) {
    tolerant([&] { accountReport(req, a); });
    for (const std::string_view f : filters) {
      tolerant([&] { accountRows(req, a, f); });
      tolerant([&] { accountReportText(req, a, f, f.empty()); });
    }
  }
  for (int64_t k = 0; k < std::ssize(ledger.kinds); ++k) {
    tolerant([&] { kindReport(req, k); });
    for (const std::string_view f : filters)
      tolerant([&] { kindReportText(req, k, !f.empty(), f); });
  }
  std::string all;
  const int64_t splitCount = std::ssize(ledger.splits);
  for (int64_t sp = 0; sp < splitCount && sp < 64; ++sp) {
    tolerant([&] { highlightLedger(transactionText(ledger, sp)); });
    all += (sp == 0 ? "" : ",") + std::to_string(sp);
  }
  for (const std::string& selection :
       {all, std::string("0"), std::to_string(splitCount), std::string("0,,1"), std::string("-1")})
    tolerant([&] { selectionSums(req, selection); });
  tolerant([&] { jumpMenu(req); });
  tolerant([&] { periodOptions(req); });
  tolerant([&] {
    if (isLedgerClosed(ledger)) newOpeningText(ledger);
  });
  tolerant([&] { highlightLedger(text); });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view raw(reinterpret_cast<const char*>(data), size);
  Settings settings = settingsTable[0];
  if (!raw.empty() && static_cast<unsigned char>(raw[0]) < 8) {
    settings = settingsTable[static_cast<unsigned char>(raw[0])];
    raw.remove_prefix(1);
  }
  App app;
  app.settings.decimalComma = settings.decimalComma;
  app.settings.inDate = settings.inDate;
  app.settings.outDate = settings.outDate;
  app.settings.number = settings.number;
  app.ledger = std::make_unique<Ledger>();
  app.ledger->decimalComma = settings.decimalComma;
  app.ledger->dateFormat = settings.inDate;
  const std::string text = normalizeLedgerText(raw);
  int64_t lineNr = 1;
  parseLedger(*app.ledger, text, lineNr);
  if (!canReport(*app.ledger)) {
    check(!app.ledger->errorText.empty());
    return 0;
  }
  // The whole last year with future dates, then the first half of the first year up to today.
  app.args.period = "Y";
  app.args.future = true;
  bool any = false;
  tolerant([&] {
    periodSet(app);
    any = true;
  });
  if (any) allReports(app, text);
  app.args.period = std::to_string(yearOf(app.ledger->transactions.front().date)) + "H1";
  app.args.future = false;
  tolerant([&] {
    periodSet(app);
    allReports(app, text);
  });
  return 0;
}
