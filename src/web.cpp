#include "web.h"

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string_view>

#include "assets.h"
#include "config.h"
#include "error.h"
#include "http/server.h"
#include "ledgertext.h"
#include "queries.h"
#include "htmlreport.h"
#include "digits.h"
#include "html.h"
#include "template.h"
#include "unicode.h"
#include "webcharts.h"
#include "webreports.h"

namespace murex {

namespace {

// The name the request reaches us by: an absolute-form target's authority outranks Host.
const std::string* targetHost(const http::Request& request) {
  return request.authority.empty() ? request.headers.find("host") : &request.authority;
}

// The viewer is reached as localhost only: any other name means a page of another site
// reaching us through a rebound address.
bool hostAllowed(const http::Request& request) {
  std::vector<std::string_view> host{request.authority};
  if (request.authority.empty()) {
    if (!request.headers.find("host")) return true;
    host = request.headers.values("host");
  }
  if (host.size() != 1) return false;
  std::string_view h = host.front();
  const size_t colon = h.rfind(':');
  if (colon != std::string_view::npos && h.find(']', colon) == std::string_view::npos) {
    const std::string_view port = h.substr(colon + 1);
    if (port.empty()) return false;
    for (char c : port)
      if (c < '0' || c > '9') return false;
    h = h.substr(0, colon);
  }
  const std::string name = lowerUnicode(h);
  return name == "localhost" || name == "127.0.0.1" || name == "[::1]";
}

// The routes that change what the viewer shows, or end it.
bool changesState(std::string_view path) {
  return path == "/quit" || path == "/toggleFuture" || path == "/changed" ||
         path.starts_with("/period/");
}

// "http://host:port" of a Referer, as an Origin would give it.
std::string_view originOf(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return url;
  return url.substr(0, url.find_first_of("/?#", scheme + 3));
}

// A request that a browser marks as sent for a page of another site: by its Sec-Fetch-Site,
// or by an Origin other than the viewer's own, or, where it sends neither, by a Referer from
// elsewhere. Clients that send none of them (curl, scripts) are no site's pages.
bool fromAnotherSite(const http::Request& request) {
  const std::string* site = request.headers.find("sec-fetch-site");
  if (site) {
    const std::string fetchSite = lowerUnicode(*site);
    if (fetchSite == "cross-site" || fetchSite == "same-site") return true;
  }
  const std::string* origin = request.headers.find("origin");
  const std::string* referer = request.headers.find("referer");
  std::string_view from;
  if (origin) {
    from = *origin;
  } else if (!site && referer) {
    from = originOf(*referer);
  } else {
    return false;
  }
  const std::string* host = targetHost(request);
  return !host || lowerUnicode(from) != "http://" + lowerUnicode(*host);
}

// A link followed to the main page from elsewhere opens the viewer in its own tab: that
// much another site may do (the page itself reads no report until its own script asks).
bool openedFromAnotherSite(const http::Request& request, std::string_view path) {
  if (path != "/" || (request.method != "GET" && request.method != "HEAD")) return false;
  const std::string* mode = request.headers.find("sec-fetch-mode");
  const std::string* dest = request.headers.find("sec-fetch-dest");
  return (!mode || lowerUnicode(*mode) == "navigate") &&
         (!dest || lowerUnicode(*dest) == "document");
}

// One left-to-right pass; inserted text is not searched again.
std::string fillPage(std::string_view page, NamedValues values) {
  std::string out;
  out.reserve(page.size());
  size_t i = 0;
  while (i < page.size()) {
    const size_t open = page.find('[', i);
    if (open == std::string_view::npos) break;
    out.append(page.substr(i, open - i));
    i = open + 1;
    bool replaced = false;
    for (const auto& [name, value] : values) {
      if (page.substr(open).starts_with(name)) {
        out.append(value);
        i = open + name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out.push_back('[');
  }
  out.append(page.substr(std::min(i, page.size())));
  return out;
}

std::string mainPage(const RouteCall& call) {
  const App& app = call.app;
  if (!app.ledger) {
    const std::string config = escapeHtml(configFile());
    return fillPage(assets::page_html, {{"[configFile]", config},
                                        {"[jump]", ""},
                                        {"[accBalance]", ""},
                                        {"[invBalance]", ""},
                                        {"[errorStr]", ""}});
  }
  if (!canReport(*app.ledger))
    return fillPage(assets::page_html, {{"[errorStr]", escapeHtml(app.ledger->errorText)}});
  const std::string config = escapeHtml(configFile());
  const ReportRequest request = reportOf(call);
  const std::string jump = jumpMenu(request);
  const std::string accounts = balanceOfAccountsHtml(request);
  const std::string inventory = balanceOfInventoryHtml(request);
  return fillPage(assets::page_html, {{"[configFile]", config},
                                      {"[jump]", jump},
                                      {"[accBalance]", accounts},
                                      {"[invBalance]", inventory},
                                      {"[errorStr]", ""}});
}

void redirectHome(RouteCall& call) {
  call.answer.status = 303;
  call.type = "";
  call.answer.headers.set("location", "/");
}

// The answer to a request whose route raised; the report main would have written, had the
// error ended the viewer, goes to standard error. A period is applied only once it is
// valid, so that no route leaves a half-changed state behind.
WebAnswer errorAnswer(const http::Request& request, bool valueError, const std::string& message,
                      std::string_view report) {
  WebAnswer answer;
  answer.headers.set("content-type", "text/plain; charset=utf-8");
  if (request.path == "/changed") {
    // The file could not be loaded again (gone since the check, not a regular file, too
    // large for the memory left): the previous ledger stays.
    answer.body = "no";
  } else {
    // A period that the address or a switch asks for is the user's word, not our fault.
    std::string_view path = request.path;
    const bool prefixed = takePeriodPrefix(path).has_value();
    const bool asked =
        valueError && (prefixed || path.starts_with("/period/") || path == "/toggleFuture");
    answer.status = asked ? 400 : 500;
    answer.body = message;
  }
  std::fwrite(report.data(), 1, report.size(), stderr);
  std::fflush(stderr);
  return answer;
}

void handle(App& app, const http::Request& request, http::Responder& out) {
  const WebAnswer answer = answerRequest(app, request);
  out.respond(answer.status, answer.body, answer.headers);
  if (answer.quit) {
    out.afterSent([] {
      std::fputs("Bye\n", stderr);
      std::exit(0);
    });
  }
}

struct StaticAsset {
  std::string_view path;
  std::string_view type;
  std::string_view body;
};

// The files of the page, served from memory as compiled in.
const StaticAsset* staticAsset(std::string_view path) {
  static const StaticAsset table[] = {
      {"/style.css", "text/css; charset=utf-8", assets::style_css},
      {"/script.js", "text/javascript; charset=utf-8", pageScript()},
      {"/murex.svg", "image/svg+xml", assets::murex_svg},
      {"/favicon.svg", "image/svg+xml", assets::favicon_svg},
      {"/favicon.png", "image/png", assets::favicon_png},
  };
  for (const StaticAsset& asset : table)
    if (asset.path == path) return &asset;
  return nullptr;
}

// ---- The routes of this file: the page, the reload, the switches, the reports of the
// whole period and the end.

void homePage(RouteCall& call) { call.answer.body = mainPage(call); }

void reload(RouteCall& call) {
  App& app = call.app;
  call.type = "text/plain; charset=utf-8";
  if (!fileChanged(app)) {
    call.answer.body = "no";
    return;
  }
  parseFile(app, LoadFrom::Reload);
  // The console that started the viewer sees the warnings of each load.
  for (const LedgerWarning& w : app.ledger->warnings) std::printf("%s\n", w.message.c_str());
  std::fflush(stdout);
  call.answer.body = "yes";
}

// A faulty reload has no dates to choose from: the range stays as it was.
void toggleFuture(RouteCall& call) {
  App& app = call.app;
  if (canReport(*app.ledger)) {
    const ShownPeriod period = periodOf(*app.ledger, app.args.period, !app.args.future);
    app.args.future = !app.args.future;
    app.period = period;
  }
  redirectHome(call);
}

void choosePeriod(RouteCall& call) {
  App& app = call.app;
  if (canReport(*app.ledger)) {
    const ShownPeriod period = periodOf(*app.ledger, call.path.text, app.args.future);
    app.args.period = call.path.text;
    app.period = period;
  }
  redirectHome(call);
}

void account(RouteCall& call) {
  const int64_t pos = call.path.position;
  if (pos >= std::ssize(call.app.ledger->accounts)) return notFound(call);
  call.answer.body = accountReport(reportOf(call), pos);
}

void transaction(RouteCall& call) {
  const Ledger& ledger = *call.app.ledger;
  const int64_t pos = call.path.position;
  if (pos >= std::ssize(ledger.splits)) return notFound(call);
  call.type = "text/plain; charset=utf-8";
  call.answer.body = highlightLedger(transactionText(ledger, pos));
}

void filteredRows(RouteCall& call) {
  const int64_t pos = call.path.position;
  if (pos >= std::ssize(call.app.ledger->accounts)) return notFound(call);
  call.answer.body = accountRows(reportOf(call), pos, decodeQuery(call.request.query));
}

void selection(RouteCall& call) {
  call.answer.body = selectionSums(reportOf(call), call.path.text);
  // An empty selection sums to nothing; a refused one is not a resource.
  if (call.answer.body.empty() && !call.path.text.empty()) notFound(call);
}

void kind(RouteCall& call) {
  const int64_t pos = call.path.position;
  if (pos >= std::ssize(call.app.ledger->kinds)) return notFound(call);
  call.answer.body = kindReport(reportOf(call), pos);
}

void quit(RouteCall& call) {
  call.answer.body = "<html><body>Bye</body></html>";
  call.answer.quit = true;
}

// Every route of the viewer; a path that none of them takes names nothing.
constexpr Route routes[] = {
    {"/", Needs::Nothing, homePage},
    {"/changed", Needs::Nothing, reload},
    {"/toggleFuture", Needs::Ledger, toggleFuture},
    {"/period/*", Needs::Ledger, choosePeriod},
    {"/account/#", Needs::Reports, account},
    {"/account/#/@", Needs::Reports, accountMonth},
    {"/filter/#", Needs::Reports, filteredRows},
    {"/filter/#/@", Needs::Reports, filteredMonthRows},
    {"/rows/account/#", Needs::Reports, registerPart},
    {"/rows/account/#/@", Needs::Reports, registerPart},
    {"/trans/#", Needs::Reports, transaction},
    {"/sumsel/*", Needs::Reports, selection},
    {"/inv/#", Needs::Reports, kind},
    {"/quit", Needs::Nothing, quit},
    {"/monthly", Needs::Reports, monthlyChanges},
    {"/monthly/#", Needs::Reports, monthlyChanges},
    {"/monthly/balance", Needs::Reports, monthlyBalances},
    {"/monthly/balance/#", Needs::Reports, monthlyBalances},
    {"/csv/accounts", Needs::Reports, accountsCsv},
    {"/csv/account/#", Needs::Reports, accountCsv},
    {"/csv/account/#/@", Needs::Reports, accountCsv},
    {"/csv/inventory", Needs::Reports, inventoryCsv},
    {"/csv/inv/#", Needs::Reports, kindCsv},
    {"/csv/monthly", Needs::Reports, monthlyChangesCsv},
    {"/csv/monthly/#", Needs::Reports, monthlyChangesCsv},
    {"/csv/monthly/balance", Needs::Reports, monthlyBalancesCsv},
    {"/csv/monthly/balance/#", Needs::Reports, monthlyBalancesCsv},
    {"/chart/account/#", Needs::Reports, accountChartRoute},
    {"/chart/account/#/@", Needs::Reports, accountChartRoute},
    {"/chart/inv/#", Needs::Reports, kindChartRoute},
    {"/chart/balance", Needs::Reports, balanceChartRoute},
    {"/chart/stack/#", Needs::Reports, stackChartRoute},
    {"/chart/expenses", Needs::Reports, expensesChartRoute},
    {"/chart/income", Needs::Reports, incomeChartRoute},
};

// The period the answer is for: the one the address names, or the one App shows (the
// command line's, applied with the first ledger that reports after a faulty start).
ShownPeriod requestedPeriod(App& app, const std::optional<PeriodPrefix>& prefix) {
  if (prefix) return periodOf(*app.ledger, prefix->period, prefix->future);
  if (!periodChosen(app)) periodSet(app);
  return app.period;
}

}  // namespace

// The only place where an error raised by a route is answered.
WebAnswer answerRequest(App& app, const http::Request& request) {
  try {
    return webCallback(app, request);
  } catch (const Error& e) {
    return errorAnswer(request, e.kind == ErrorKind::Value, e.message, unhandledText(e));
  } catch (const std::bad_alloc&) {
    return errorAnswer(request, false, "Out of memory",
                       "Error: unhandled exception: Out of memory [MemoryError]\n");
  }
}

const std::string& pageScript() {
  static const std::string script = [] {
    std::string all;
    for (const std::string_view part : {assets::kit_js, assets::draw_js, assets::chart_js,
                                        assets::keys_js, assets::register_js, assets::script_js})
      all += part;
    return all;
  }();
  return script;
}

WebAnswer webCallback(App& app, const http::Request& request) {
  std::string_view path = request.path;
  // Every path may come behind the period it is asked for.
  const std::optional<PeriodPrefix> prefix = takePeriodPrefix(path);
  RouteCall call{.app = app, .request = request, .path = {}, .period = {}, .answer = {}};
  const StaticAsset* asset = staticAsset(path);
  const Route* route = nullptr;
  for (const Route& r : routes) {
    if (readPath(path, r.pattern, call.path)) {
      route = &r;
      break;
    }
  }
  const Ledger* ledger = app.ledger.get();
  const bool reports = ledger && canReport(*ledger);
  // A page of another site may open the viewer and use its files, but never read, time,
  // change or end anything: its image, form or fetch is refused before anything is done.
  if (!hostAllowed(request) ||
      (fromAnotherSite(request) && !openedFromAnotherSite(request, path) && !asset)) {
    call.answer.status = 403;
  } else if (request.method == "HEAD" && changesState(path)) {
    // HEAD asks for a head and must do no more.
    call.answer.status = 405;
    call.answer.headers.set("allow", "GET");
  } else if (asset) {
    call.type = asset->type;
    call.answer.body = asset->body;
  } else if (!route || (route->needs == Needs::Ledger && !ledger) ||
             (route->needs == Needs::Reports && !reports)) {
    notFound(call);
  } else {
    // A reload replaces the ledger: the period is found for the requests after it.
    if (reports && route->answer != reload) call.period = requestedPeriod(app, prefix);
    route->answer(call);
  }
  if (!call.type.empty()) call.answer.headers.set("Content-type", std::string(call.type));
  return call.answer;
}

void serve(App& app) {
  // Large buffers are mapped apart, so that the memory of an answer goes back to the system
  // as soon as it has been sent, rather than staying with the process.
  mallopt(M_MMAP_THRESHOLD, 1 << 18);
  http::Server server;
  http::createServer(server, true, false, 8388608);
  // With every answer: the page may use only its own files and no other page may frame it;
  // no type is guessed, no address leaves with a link, and nothing shown is kept in a cache.
  server.commonHeaders.set("content-security-policy",
                           "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; "
                           "form-action 'self'");
  server.commonHeaders.set("x-content-type-options", "nosniff");
  server.commonHeaders.set("referrer-policy", "no-referrer");
  server.commonHeaders.set("cache-control", "no-store");
  // No page of another site may embed an answer (an image, a script) either.
  server.commonHeaders.set("cross-origin-resource-policy", "same-origin");
  // Loopback only: the viewer shows a private ledger and has an unauthenticated quit route.
  if (!http::tryListen(server, 7777, "127.0.0.1")) http::listen(server, 0, "127.0.0.1");
  std::printf("Server listening on:\n\n    http://localhost:%d/\n", http::boundPort(server));
  std::fflush(stdout);
  // The memory a report worked in is given back to the system a second after it, once for
  // any number of reports in a row: freed in small pieces, it would stay with the process.
  bool trimDue = false;
  http::startServing(server, [&](const http::Request& request, http::Responder& out) {
    handle(app, request, out);
    if (trimDue) return;
    trimDue = true;
    http::addTimer(server.loop, 1000, [&trimDue]() -> int64_t {
      malloc_trim(0);
      trimDue = false;
      return -1;
    });
  });
  http::runLoop(server.loop);
  std::exit(0);
}

}  // namespace murex
