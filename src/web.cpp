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
#include "report.h"
#include "digits.h"
#include "html.h"
#include "template.h"
#include "unicode.h"
#include "webcharts.h"
#include "webreports.h"

namespace murex {

namespace {

constexpr std::string_view htmlType = "text/html; charset=utf-8";

// The position after prefix when the rest of path is one run of digits. Runs too long for
// the digit reader are out of every list's range, like any number past its end.
bool numberRoute(std::string_view path, std::string_view prefix, int64_t& number) {
  if (!path.starts_with(prefix) || path.size() == prefix.size()) return false;
  for (char c : path.substr(prefix.size()))
    if (c < '0' || c > '9') return false;
  if (!readNumber(path.substr(prefix.size()), number)) number = INT64_MAX;
  return true;
}

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
bool openedFromAnotherSite(const http::Request& request) {
  if (request.path != "/" || (request.method != "GET" && request.method != "HEAD")) return false;
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

std::string mainPage(const App& app) {
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
  const std::string jump = jumpMenu(app);
  const std::string accounts = balanceOfAccounts(app, true, false);
  const std::string inventory = balanceOfInventory(app, true);
  return fillPage(assets::page_html, {{"[configFile]", config},
                                      {"[jump]", jump},
                                      {"[accBalance]", accounts},
                                      {"[invBalance]", inventory},
                                      {"[errorStr]", ""}});
}

void redirectHome(WebAnswer& a, std::string_view& type) {
  a.status = 303;
  type = "";
  a.headers.set("location", "/");
}

// The state a refused period choice must not leave behind.
struct PeriodState {
  std::string period;
  bool argsFuture, future;
  std::string periodName;
  int64_t periodYear;
  Datum firstDate, lastDate, fromDate, toDate;
};

PeriodState savePeriod(const App& app) {
  return {app.args.period, app.args.future, app.future,   app.periodName, app.periodYear,
          app.firstDate,   app.lastDate,    app.fromDate, app.toDate};
}

void restorePeriod(App& app, const PeriodState& s) {
  app.args.period = s.period;
  app.args.future = s.argsFuture;
  app.future = s.future;
  app.periodName = s.periodName;
  app.periodYear = s.periodYear;
  app.firstDate = s.firstDate;
  app.lastDate = s.lastDate;
  app.fromDate = s.fromDate;
  app.toDate = s.toDate;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The answer to a request whose route raised: the state it may have half changed is put
// back, and the report main would have written, had the error ended the viewer, goes to
// standard error.
WebAnswer errorAnswer(App& app, const PeriodState& before, const http::Request& request,
                      bool valueError, const std::string& message, std::string_view report) {
  restorePeriod(app, before);
  WebAnswer answer;
  answer.headers.set("content-type", "text/plain; charset=utf-8");
  if (request.path == "/changed") {
    // The file could not be loaded again (gone since the check, not a regular file, too
    // large for the memory left): the previous ledger stays.
    answer.body = "no";
  } else {
    const bool asked = valueError &&
                       (request.path.starts_with("/period/") || request.path == "/toggleFuture");
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

}  // namespace

// The only place where an error raised by a route is answered.
WebAnswer answerRequest(App& app, const http::Request& request) {
  WebAnswer answer;
  const PeriodState before = savePeriod(app);
  try {
    answer = webCallback(app, request);
  } catch (const Error& e) {
    answer = errorAnswer(app, before, request, e.kind == ErrorKind::Value, e.message,
                         unhandledText(e));
  } catch (const std::bad_alloc&) {
    answer = errorAnswer(app, before, request, false, "Out of memory",
                         "Error: unhandled exception: Out of memory [MemoryError]\n");
  }
  return answer;
}

std::string decodeQuery(std::string_view query) {
  std::string out;
  out.reserve(query.size());
  for (size_t i = 0; i < query.size(); ++i) {
    const char c = query[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%' && i + 2 < query.size() && hexValue(query[i + 1]) >= 0 &&
               hexValue(query[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hexValue(query[i + 1]) * 16 + hexValue(query[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

namespace {

struct StaticAsset {
  std::string_view path;
  std::string_view type;
  std::string_view body;
};

}  // namespace

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

namespace {

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

}  // namespace

WebAnswer webCallback(App& app, const http::Request& request) {
  WebAnswer a;
  std::string_view type = htmlType;
  const std::string& path = request.path;
  const Ledger* ledger = app.ledger.get();
  const bool reports = ledger && canReport(*ledger);
  int64_t number = 0;
  // A page of another site may open the viewer and use its files, but never read, time,
  // change or end anything: its image, form or fetch is refused before anything is done.
  const bool refused =
      !hostAllowed(request) ||
      (fromAnotherSite(request) && !openedFromAnotherSite(request) && !staticAsset(path));
  const bool headOfChange = request.method == "HEAD" && changesState(path);
  // After a faulty start the first ledger that reports takes the period of the command line,
  // before anything is shown from it.
  if (!refused && !headOfChange && reports && !periodChosen(app) && path != "/changed" &&
      !staticAsset(path))
    periodSet(app);
  if (refused) {
    a.status = 403;
  } else if (headOfChange) {
    // HEAD asks for a head and must do no more.
    a.status = 405;
    a.headers.set("allow", "GET");
  } else if (path == "/") {
    a.body = mainPage(app);
  } else if (path == "/changed") {
    type = "text/plain; charset=utf-8";
    if (fileChanged(app)) {
      parseFile(app, LoadFrom::Reload);
      // The console that started the viewer sees the warnings of each load.
      for (const LedgerWarning& w : app.ledger->warnings) std::printf("%s\n", w.message.c_str());
      std::fflush(stdout);
      a.body = "yes";
    } else {
      a.body = "no";
    }
  } else if (const StaticAsset* asset = staticAsset(path)) {
    type = asset->type;
    a.body = asset->body;
  } else if (path == "/toggleFuture") {
    if (!ledger) {
      a.status = 404;
    } else {
      // A faulty reload has no dates to choose from: the range stays as it was.
      if (reports) {
        app.args.future = !app.args.future;
        periodSet(app);
      }
      redirectHome(a, type);
    }
  } else if (numberRoute(path, "/account/", number)) {
    if (reports && number < std::ssize(ledger->accounts)) {
      a.body = accountReport(app, number);
    } else {
      a.status = 404;
    }
  } else if (path.starts_with("/period/")) {
    if (!ledger) {
      a.status = 404;
    } else {
      if (reports) {
        app.args.period = path.substr(8);
        periodSet(app);
      }
      redirectHome(a, type);
    }
  } else if (numberRoute(path, "/trans/", number)) {
    if (reports && number < std::ssize(ledger->splits)) {
      type = "text/plain; charset=utf-8";
      a.body = highlightLedger(transactionText(*ledger, number));
    } else {
      a.status = 404;
    }
  } else if (numberRoute(path, "/filter/", number)) {
    if (reports && number < std::ssize(ledger->accounts)) {
      a.body = accountRows(app, number, decodeQuery(request.query));
    } else {
      a.status = 404;
    }
  } else if (path.starts_with("/sumsel/")) {
    const std::string_view selection = std::string_view(path).substr(8);
    if (reports) a.body = selectionSums(app, selection);
    // An empty selection sums to nothing; a refused one is not a resource.
    if (!reports || (a.body.empty() && !selection.empty())) a.status = 404;
  } else if (chartRoute(app, request, a, type)) {
    // answered there
  } else if (path == "/quit") {
    a.body = "<html><body>Bye</body></html>";
    a.quit = true;
  } else if (numberRoute(path, "/inv/", number)) {
    if (reports && number < std::ssize(ledger->kinds)) {
      a.body = kindReport(app, number);
    } else {
      a.status = 404;
    }
  } else if (!reportRoute(app, request, a, type)) {
    a.status = 404;
    a.body = "Not found";
  }
  if (!type.empty()) a.headers.set("Content-type", std::string(type));
  return a;
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
