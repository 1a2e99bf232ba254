// Fuzz target for the viewer's routes: the input's first bytes shape a valid ledger (accounts
// of every type and depth, an inventory kind, dates from long ago to after today), the rest
// are requests, each a route with positions around the lists' ends, months, widths, filters,
// period choices (in front of the path too) and the future switch, sent as GET or HEAD, from the page or another site.
// Each is answered as the request handler answers it; a status the viewer never gives, a
// server error on a ledger whose sums are small, or a sanitizer report is a finding.
// fuzz-max-len: 512
#include <cstdint>
#include <string>
#include <string_view>

#include "app.h"
#include "datum.h"
#include "fuzz_support.h"
#include "loader.h"
#include "parse.h"
#include "queries.h"
#include "web.h"

using namespace murex;

namespace {

// Takes bytes from the input; past its end every byte is zero.
struct Bytes {
  std::string_view data;
  size_t at = 0;
  unsigned next() { return at < data.size() ? static_cast<unsigned char>(data[at++]) : 0; }
  bool done() const { return at >= data.size(); }
};

std::string number(int64_t n) { return std::to_string(n); }

std::string dateText(Datum d) { return formatDatum(d, "y-m-d"); }

// A ledger that parses: an opening of up to eight accounts whose indents and tags come from
// the input, perhaps a kind, then up to twenty transactions a few days apart.
std::string ledgerOf(Bytes& in) {
  static constexpr char tags[] = {'-', 'A', 'L', 'E', 'I', 'C'};
  const int64_t start = dayNumber(today()) - 900 + static_cast<int64_t>(in.next() * 4);
  const int64_t accounts = 1 + in.next() % 8;
  const bool kind = in.next() % 2 == 1;
  std::string text = dateText(dateOfDayNumber(start)) + " Opening\n";
  for (int64_t a = 0; a < accounts; ++a) {
    const unsigned b = in.next();
    text += std::string(static_cast<size_t>(2 + 2 * (b % 4)), ' ') + "A" + number(a) + " " +
            number(b % 7) + " ;";
    if (tags[b / 4 % 6] != '-') text += std::string(" @") + tags[b / 4 % 6];
    text += b % 3 == 0 ? " Name \"" + number(a) + "\"\n" : "\n";
  }
  if (kind) text += "  Depot 0\n    Depot:K 3@2.50 ; Kay\n";
  text += "  Eq ; @C\n";
  int64_t day = start;
  int64_t held = 3;
  const int64_t count = in.next() % 21;
  for (int64_t t = 0; t < count; ++t) {
    const unsigned b = in.next();
    day += b % 60;
    text += dateText(dateOfDayNumber(day)) + (b % 5 == 0 ? " =HYPERLINK(x)\n" : " Move\n");
    const unsigned c = in.next();
    if (kind && c % 6 == 0) {
      const bool buy = c % 12 == 0 || held == 0;
      held += buy ? 1 : -1;
      text += buy ? "  Depot:K 1@3\n" : "  Depot:K -1@\n";
      text += "  A" + number(c / 6 % accounts) + "\n";
      continue;
    }
    text += "  A" + number(c % accounts) + " " + (c % 2 ? "-" : "") + number(b) + "." +
            number(c % 10) + "0 ; +" + number(c) + "\n";
    text += "  A" + number(c / 8 % accounts) + "\n";
  }
  return text;
}

// One request from the input.
http::Request requestOf(Bytes& in, const App& app) {
  static constexpr std::string_view routes[] = {
      "/",           "/account/",    "/trans/",        "/filter/",       "/inv/",
      "/sumsel/",    "/period/",     "/toggleFuture",  "/chart/account/", "/chart/inv/",
      "/chart/balance", "/chart/expenses", "/chart/income", "/chart/stack/", "/monthly",
      "/monthly/",   "/monthly/balance", "/monthly/balance/", "/csv/accounts", "/csv/account/",
      "/csv/inventory", "/csv/inv/", "/csv/monthly", "/csv/monthly/balance/", "/quit",
      "/style.css",  "/nothing",
  };
  static constexpr std::string_view periods[] = {"Y", "Q1", "Q3C", "H2", "M2", "M12", "Q9", ""};
  const unsigned b = in.next();
  std::string_view route = routes[b % std::size(routes)];
  http::Request r;
  r.method = b & 0x80 ? "HEAD" : "GET";
  std::string path(route);
  const unsigned p = in.next();
  const Ledger& ledger = *app.ledger;
  if (route.ends_with('/') && route != "/" && route != "/period/") {
    // A position near the end of the list the route reads, or a run of digits too long.
    const int64_t size = route.find("inv") != std::string_view::npos
                             ? std::ssize(ledger.kinds)
                             : route == "/trans/" ? std::ssize(ledger.splits)
                                                  : std::ssize(ledger.accounts);
    path += p == 255 ? "99999999999999999999" : number(std::max<int64_t>(0, size - 3 + p % 5));
    if (route == "/sumsel/" && p % 3 == 0) path += ",0,1";
    if (p & 0x40) {
      // A month around the shown period.
      const Datum d = dateOfDayNumber(dayNumber(app.period.fromDate) + (static_cast<int64_t>(in.next()) - 64) * 7);
      const int64_t m = monthOf(d);
      path += "/" + number(yearOf(d)) + (m < 10 ? "-0" : "-") + number(m);
    }
  } else if (route == "/period/") {
    const unsigned y = in.next();
    if (y % 2) path += number(yearOf(app.period.lastDate) - 1 + y / 2 % 3);
    path += periods[p % std::size(periods)];
  }
  const unsigned q = in.next();
  // Now and then behind the period it is asked for, as a page for a chosen period asks.
  if (q % 7 == 0) {
    const unsigned y = in.next();
    std::string period = y % 2 ? number(yearOf(app.period.lastDate) - 1 + y / 2 % 3) : "";
    period += periods[y / 8 % std::size(periods)];
    path = "/p/" + period + (y & 0x80 ? "+future" : "") + path;
  }
  if (q % 2) r.query = "w=" + number(q * 17 % 5000) + "&f=" + (q % 4 == 1 ? "move" : "a+b");
  if (q % 3 == 0) r.query = "=x";
  r.path = path;
  r.url = path + (r.query.empty() ? "" : "?" + r.query);
  if (q % 11 == 0) r.headers.set("sec-fetch-site", "cross-site");
  if (q % 13 == 0) r.headers.set("origin", "http://evil.example");
  r.headers.set("host", "localhost");
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in{std::string_view(reinterpret_cast<const char*>(data), size)};
  App app;
  app.args.fileName = "fuzz.ledger";
  app.ledger = std::make_unique<Ledger>();
  const std::string text = normalizeLedgerText(ledgerOf(in));
  int64_t lineNr = 1;
  parseLedger(*app.ledger, text, lineNr);
  check(canReport(*app.ledger));
  app.args.period = "Y";
  app.args.future = in.next() % 2 == 1;
  tolerant([&] { periodSet(app); });
  for (int requests = 0; requests < 24 && !in.done(); ++requests) {
    const http::Request request = requestOf(in, app);
    const WebAnswer a = answerRequest(app, request);
    check(a.status == 200 || a.status == 303 || a.status == 400 || a.status == 403 ||
          a.status == 404 || a.status == 405);
    check(app.period.fromDate != 0 && app.period.toDate != 0);
  }
  return 0;
}
