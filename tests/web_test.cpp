// web: every route of the running viewer over loopback, against the reports computed here.
#include "error.h"
#include "web.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app.h"
#include "assets.h"
#include "config.h"
#include "http/loop.h"
#include "ledgertext.h"
#include "parse.h"
#include "queries.h"
#include "token.h"
#include "htmlreport.h"
#include "export.h"
#include "monthlyreport.h"
#include "webreports.h"
#include "html.h"
#include "json.h"
#include "rowparts.h"

using namespace murex;
namespace fs = std::filesystem;

namespace {

constexpr std::string_view ledgerText =
    "2024-01-01 Opening\n"
    "  Bank 10000 ; @A\n"
    "  Stocks 0 ; Brokerage\n"
    "    Stocks:ACME 100@10 ; Acme <shares>\n"
    "  Equity ; @C\n"
    "  Food 0 ; @E\n"
    "  Gains 0 ; @I\n"
    "2024-02-01 Buy a b,c\n"
    "  Stocks:ACME 10@12\n"
    "  Bank\n"
    "2024-03-01 Groceries\n"
    "  Food 25.50\n"
    "  Bank\n"
    "2024-05-01 Sell\n"
    "  Stocks:ACME -20@\n"
    "  Bank 260\n"
    "  Gains\n";

void writeFile(const fs::path& p, std::string_view text) {
  std::ofstream(p, std::ios::binary) << text;
}

// Moves the file's modification time, so a change shows even within one clock tick.
void touch(const fs::path& p, int64_t sec) {
  const timespec times[2] = {{sec, 0}, {sec, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
}

struct Answer {
  int status = 0;
  std::string head;  // the header lines, lower-case names as sent
  std::string body;
  std::string header(std::string_view name) const {
    const std::string key = "\r\n" + std::string(name) + ": ";
    const size_t at = head.find(key);
    if (at == std::string::npos) return "(none)";
    const size_t start = at + key.size();
    return head.substr(start, head.find("\r\n", start) - start);
  }
};

// extra: more header lines, each ending in "\r\n".
Answer request(int port, std::string_view method, std::string_view path,
               std::string_view host = "localhost", std::string_view extra = "") {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  Answer ans;
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return ans;
  }
  std::string req = std::string(method) + " " + std::string(path) + " HTTP/1.1\r\n";
  if (!host.empty()) req += "Host: " + std::string(host) + "\r\n";
  req += std::string(extra) + "Connection: close\r\n\r\n";
  EXPECT_EQ(send(fd, req.data(), req.size(), MSG_NOSIGNAL), static_cast<ssize_t>(req.size()));
  std::string got;
  char buf[65536];
  ssize_t n;
  while ((n = recv(fd, buf, sizeof buf, 0)) > 0) got.append(buf, static_cast<size_t>(n));
  close(fd);
  const size_t end = got.find("\r\n\r\n");
  if (got.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos) return ans;
  ans.status = std::stoi(got.substr(9, 3));
  ans.head = got.substr(0, end + 2);
  ans.body = got.substr(end + 4);
  if (method != "HEAD") {
    EXPECT_EQ(ans.header("Content-Length"), std::to_string(ans.body.size())) << path;
  }
  return ans;
}
Answer get(int port, std::string_view path) { return request(port, "GET", path); }

// What every answer of the viewer carries: only the page's own files, no framing, no guessed
// types, no referrer, no cache, no embedding by other sites; and a charset with every text.
void expectSafetyHeaders(const Answer& a, std::string_view what) {
  EXPECT_EQ(a.header("content-security-policy"),
            "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'")
      << what;
  EXPECT_EQ(a.header("x-content-type-options"), "nosniff") << what;
  EXPECT_EQ(a.header("referrer-policy"), "no-referrer") << what;
  EXPECT_EQ(a.header("cache-control"), "no-store") << what;
  EXPECT_EQ(a.header("cross-origin-resource-policy"), "same-origin") << what;
  const std::string type = a.header("content-type");
  if (type.starts_with("text/")) {
    EXPECT_NE(type.find("; charset=utf-8"), std::string::npos) << what;
  }
}

// One running viewer with its own settings folder; stdout and stderr go to files.
struct Viewer {
  fs::path dir;
  pid_t pid = -1;
  int port = 0;
  std::string out;

  // addressLimit: the most memory the viewer may map, in bytes (0 for no limit).
  Viewer(const fs::path& folder, const std::vector<std::string>& args, rlim_t addressLimit = 0)
      : dir(folder) {
    fs::create_directories(dir / "config");
    pid = fork();
    if (pid == 0) {
      if (addressLimit > 0) {
        const rlimit limit{addressLimit, addressLimit};
        setrlimit(RLIMIT_AS, &limit);
      }
      setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
      setenv("HOME", dir.c_str(), 1);
      const std::string outName = (dir / "out").string();
      freopen(outName.c_str(), "w", stdout);
      freopen((dir / "err").c_str(), "w", stderr);
      std::vector<char*> argv{const_cast<char*>(MUREX_BINARY)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(MUREX_BINARY, argv.data());
      _exit(127);
    }
    const fs::path outFile = dir / "out";
    const int64_t start = http::monotonicMs();
    while (http::monotonicMs() - start < 10000) {
      std::ifstream in(outFile, std::ios::binary);
      out.assign(std::istreambuf_iterator<char>(in), {});
      const size_t at = out.find("http://localhost:");
      if (at != std::string::npos && out.find("/\n", at) != std::string::npos) {
        port = std::atoi(out.c_str() + at + 17);
        break;
      }
      usleep(10000);
    }
  }
  std::string err() const {
    std::ifstream in(dir / "err", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Waits for the process to end; its exit status, or -1 when it does not end in 5 s.
  int wait() {
    const int64_t start = http::monotonicMs();
    int status = 0;
    while (http::monotonicMs() - start < 5000) {
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
      usleep(10000);
    }
    return -1;
  }
  ~Viewer() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};

struct Folder {
  fs::path path;
  Folder() {
    char name[] = "/tmp/murex-web-XXXXXX";
    path = mkdtemp(name);
  }
  ~Folder() { fs::remove_all(path); }
};

// The reports of the same ledger computed in this process: what every route must send.
struct Expected {
  App app;
  explicit Expected(const fs::path& ledger, std::string_view period = "Y") {
    app.args.fileName = ledger.string();
    app.args.period = std::string(period);
    parseFile(app);
    periodSet(app);
  }
};

class WebRoutes : public ::testing::Test {
 protected:
  Folder folder;
  fs::path ledger = folder.path / "book.ledger";
  std::unique_ptr<Viewer> viewer;
  void SetUp() override {
    writeFile(ledger, ledgerText);
    touch(ledger, 1700000000);
    viewer = std::make_unique<Viewer>(folder.path, std::vector<std::string>{ledger.string()});
    ASSERT_GT(viewer->port, 0) << viewer->out << viewer->err();
  }
  int port() const { return viewer->port; }
};

struct RouteCase {
  std::string path;
  int status;
  std::string type;
  std::string body;
};

TEST_F(WebRoutes, AnswersEveryRouteLikeTheReports) {
  const Expected e(ledger);
  const Ledger& l = *e.app.ledger;
  const std::string html = "text/html; charset=utf-8";
  const std::string accounts = std::to_string(l.accounts.size());
  const std::string kinds = std::to_string(l.kinds.size());
  const std::string splits = std::to_string(l.splits.size());
  const RouteCase cases[] = {
      {"/style.css", 200, "text/css; charset=utf-8", std::string(assets::style_css)},
      {"/script.js", 200, "text/javascript; charset=utf-8", pageScript()},
      {"/murex.svg", 200, "image/svg+xml", std::string(assets::murex_svg)},
      {"/favicon.svg", 200, "image/svg+xml", std::string(assets::favicon_svg)},
      {"/favicon.png", 200, "image/png", std::string(assets::favicon_png)},
      {"/changed", 200, "text/plain; charset=utf-8", "no"},
      {"/account/0", 200, html, accountReport(reportRequest(e.app), 0)},
      {"/account/2", 200, html, accountReport(reportRequest(e.app), 2)},
      {"/account/002", 200, html, accountReport(reportRequest(e.app), 2)},
      {"/account/" + accounts, 404, html, "Not found"},
      {"/account/99999999999999999999999999", 404, html, "Not found"},
      {"/account/00000000000000000000000000002", 200, html, accountReport(reportRequest(e.app), 2)},
      {"/account/", 404, html, "Not found"},
      {"/account/x", 404, html, "Not found"},
      {"/account/3x", 404, html, "Not found"},
      {"/account/-1", 404, html, "Not found"},
      {"/account/+1", 404, html, "Not found"},
      {"/trans/1", 200, "text/plain; charset=utf-8", highlightLedger(transactionText(l, 1))},
      {"/trans/" + splits, 404, html, "Not found"},
      {"/trans/99999999999999999999", 404, html, "Not found"},
      {"/filter/0?a+b%2Cc", 200, html, accountRows(reportRequest(e.app), 0, "a b,c")},
      {"/filter/0", 200, html, accountRows(reportRequest(e.app), 0, "")},
      {"/filter/" + accounts + "?x", 404, html, "Not found"},
      {"/filter/99999999999999999999?x", 404, html, "Not found"},
      {"/inv/0", 200, html, kindReport(reportRequest(e.app), 0)},
      {"/inv/" + kinds, 404, html, "Not found"},
      {"/inv/99999999999999999999", 404, html, "Not found"},
      {"/inv/00000000000000000000000000000", 200, html, kindReport(reportRequest(e.app), 0)},
      {"/inv/x", 404, html, "Not found"},
      {"/sumsel/", 200, html, ""},
      {"/sumsel/1,2", 200, html, selectionSums(reportRequest(e.app), "1,2")},
      {"/sumsel/1,x", 404, html, "Not found"},
      {"/sumsel/" + splits, 404, html, "Not found"},
      {"/nothing", 404, html, "Not found"},
      {"/quit/", 404, html, "Not found"},
      {"/Account/0", 404, html, "Not found"},
  };
  for (const RouteCase& c : cases) {
    const Answer a = get(port(), c.path);
    EXPECT_EQ(a.status, c.status) << c.path;
    EXPECT_EQ(a.header("content-type"), c.type) << c.path;
    EXPECT_EQ(a.body, c.body) << c.path;
    expectSafetyHeaders(a, c.path);
  }
  EXPECT_NE(selectionSums(reportRequest(e.app), "1,2"), "");
}

// A word no route has, a position past its list (or past every number), a month outside the
// period, a chart of nothing: each path that names nothing gets the same answer.
TEST_F(WebRoutes, AnswersEveryPathThatNamesNothingAlike) {
  const Answer nothing = get(port(), "/nothing");
  EXPECT_EQ(nothing.status, 404);
  EXPECT_EQ(nothing.body, "Not found");
  for (const std::string_view path :
       {"/account/x", "/account/99999999999999999999", "/account/5", "/account/3/2023-03",
        "/account/3/2024-13", "/trans/99", "/inv/1", "/sumsel/1,x", "/csv", "/csv/inv/1",
        "/chart/nothing", "/chart/account/99", "/chart/account/0/2023-01", "/monthly/5",
        "/p/2024Q1/nothing", "/p/2024Q1/account/5", "/p/2024Q1", "/p/2024Q1/account/3/2024-05"}) {
    const Answer a = get(port(), path);
    EXPECT_EQ(a.head, nothing.head) << path;
    EXPECT_EQ(a.body, nothing.body) << path;
  }
}

// HEAD is answered with the head that GET would have, without its body, and never does what
// only GET may: a route that changes the viewer answers 405 and changes nothing.
TEST_F(WebRoutes, AnswersHeadWithTheHeadAloneAndNeverChangesState) {
  const Expected e(ledger);
  const std::string home = get(port(), "/").body;
  for (const std::string_view path : {"/", "/account/0", "/script.js", "/csv/accounts", "/x"}) {
    const Answer whole = get(port(), path);
    const Answer head = request(port(), "HEAD", path);
    EXPECT_EQ(head.status, whole.status) << path;
    EXPECT_EQ(head.head, whole.head) << path;
    EXPECT_EQ(head.body, "") << path;
  }
  touch(ledger, 1700000100);
  for (const std::string_view path : {"/changed", "/toggleFuture", "/period/Q1", "/quit"}) {
    const Answer a = request(port(), "HEAD", path);
    EXPECT_EQ(a.status, 405) << path;
    EXPECT_EQ(a.header("allow"), "GET") << path;
    EXPECT_EQ(a.body, "") << path;
    expectSafetyHeaders(a, path);
  }
  EXPECT_EQ(get(port(), "/").body, home);
  EXPECT_EQ(get(port(), "/changed").body, "yes");
  EXPECT_EQ(viewer->err(), "");
}

struct DownloadCase {
  std::string path;
  int status;
  std::string body;
  std::string file;  // the download's name; "" for an answer that is not a download
};

// The register's parts: their rows are the account report's rows cell for cell, the parts
// together are the whole list, and the frame with the rows is the report.
struct RowPartCase {
  std::string query;
  const App* app;
  int64_t pos;
  std::string filter;
  size_t from, to;  // the rows expected, cut to those there are
  bool frame;
};

// The text of s between open and close from at on, at moved past close; "" without open.
std::string between(const std::string& s, size_t& at, std::string_view open,
                    std::string_view close) {
  const size_t from = s.find(open, at);
  if (from == std::string::npos) return "";
  const size_t to = s.find(close, from + open.size());
  at = to + close.size();
  return s.substr(from + open.size(), to - from - open.size());
}

// A cell of a row of the report's HTML from at on: its class and its text.
std::pair<std::string, std::string> nextCell(const std::string& row, size_t& at) {
  std::string head = between(row, at, "<td", ">");
  size_t h = 0;
  const std::string cls = between(head, h, " class=\"", "\"");
  return {cls, between(row, --at, ">", "</td>")};
}

// The JSON line a row of the report's HTML is sent as.
std::string rowLine(const std::string& html) {
  size_t at = 0;
  const std::string tr = between(html, at, "<tr", ">");
  size_t t = 0;
  const std::string cls = between(tr, t, " class=\"", "\"");
  t = 0;
  std::string line = "[" + between(tr, t, "data-spos=\"", "\"");
  std::string balanceClass;
  for (int k = 0; k < 5; ++k) {
    const auto [c, text] = nextCell(html, at);
    if (k == 3) balanceClass = c;
    line += "," + jsonString(text);
  }
  return line + "," + jsonString(cls) + "," + jsonString(balanceClass) + "]";
}

TEST_F(WebRoutes, AnswersTheRegisterInParts) {
  const Expected e(ledger);
  const Expected march(ledger, "2024M3");
  const std::string n = std::to_string(e.app.ledger->accounts.size());
  const RowPartCase cases[] = {
      {"0?frame=1", &e.app, 0, "", 0, 99, true},
      {"0?from=0&to=2", &e.app, 0, "", 0, 2, false},
      {"0?from=2&to=99", &e.app, 0, "", 2, 99, false},
      {"0?from=4", &e.app, 0, "", 4, 99, false},
      {"0?from=9&to=12", &e.app, 0, "", 9, 12, false},
      {"0?f=gro+bu&from=1", &e.app, 0, "gro bu", 1, 99, false},
      {"3/2024-03?to=1&frame=1", &march.app, 3, "", 0, 1, true},
  };
  for (const RowPartCase& c : cases) {
    std::vector<std::string> rows;
    std::stringstream html(accountRows(reportRequest(*c.app), c.pos, c.filter));
    for (std::string row; std::getline(html, row);) rows.push_back(row);
    const size_t from = std::min(c.from, rows.size());
    std::string want;
    for (size_t i = from; i < std::min(c.to, rows.size()); ++i) want += rowLine(rows[i]) + "\n";
    want += "{\"from\":" + std::to_string(from) + ",\"count\":" + std::to_string(rows.size());
    const Answer a = get(port(), "/rows/account/" + c.query);
    EXPECT_EQ(a.status, 200) << c.query;
    EXPECT_EQ(a.header("content-type"), "text/plain; charset=utf-8") << c.query;
    expectSafetyHeaders(a, c.query);
    ASSERT_TRUE(a.body.starts_with(want)) << c.query << "\n" << a.body << "\nwanted\n" << want;
    // The widest text of each column but the description, and the frame.
    const std::string rest = a.body.substr(want.size());
    size_t w = 0;
    const std::string widest = between(rest, w, ",\"widest\":[\"", "\"]");
    std::vector<std::string> texts;
    for (size_t from = 0;;) {
      const size_t to = widest.find("\",\"", from);
      texts.push_back(widest.substr(from, to - from));
      if (to == std::string::npos) break;
      from = to + 3;
    }
    ASSERT_EQ(texts.size(), 4u) << rest;
    for (size_t k = 0; k < 4; ++k) {
      size_t longest = 0;
      for (const std::string& row : rows) {
        size_t at = 0;
        for (size_t skip = 0; skip < k; ++skip) nextCell(row, at);
        longest = std::max(longest, nextCell(row, at).second.size());
      }
      EXPECT_EQ(texts[k].size(), longest) << c.query << " column " << k;
    }
    const std::string frame =
        c.frame ? ",\"frame\":" + jsonString(accountFrame(reportRequest(*c.app), c.pos))
                : std::string();
    EXPECT_EQ(rest.substr(w), frame + "}\n") << c.query;
  }
  std::string report = accountFrame(reportRequest(e.app), 0);
  report.insert(report.find("<tbody id=\"records\">\n") + 21,
                accountRows(reportRequest(e.app), 0, ""));
  EXPECT_EQ(report, accountReport(reportRequest(e.app), 0));
  for (const std::string& path :
       std::vector<std::string>{"/rows/account/" + n, "/rows/account/3/2023-03",
                                "/rows/account/3/2024-13", "/rows/account/x", "/rows/account/"})
    EXPECT_EQ(get(port(), path).status, 404) << path;
}

// The month-by-month page, an account's month and the CSV downloads. Accounts: 0 Bank,
// 1 Stocks, 2 Equity, 3 Food, 4 Gains; kind 0 ACME.
TEST_F(WebRoutes, AnswersTheMonthlyPageTheAccountsMonthsAndTheDownloads) {
  const Expected e(ledger);
  const Expected february(ledger, "2024M2");
  const Expected march(ledger, "2024M3");
  const std::string n = std::to_string(e.app.ledger->accounts.size());
  const DownloadCase cases[] = {
      {"/monthly", 200, monthlyReport(reportRequest(e.app), -1, false), ""},
      {"/monthly/3", 200, monthlyReport(reportRequest(e.app), 3, false), ""},
      {"/monthly/balance", 200, monthlyReport(reportRequest(e.app), -1, true), ""},
      {"/monthly/balance/0", 200, monthlyReport(reportRequest(e.app), 0, true), ""},
      {"/monthly/" + n, 404, "Not found", ""},
      {"/monthly/", 404, "Not found", ""},
      {"/monthly/x", 404, "Not found", ""},
      {"/monthly/balance/", 404, "Not found", ""},
      {"/monthlyx", 404, "Not found", ""},
      {"/account/3/2024-03", 200, accountReport(reportRequest(march.app), 3), ""},
      {"/filter/3/2024-03?gro", 200, accountRows(reportRequest(march.app), 3, "gro"), ""},
      {"/filter/3/2024-03", 200, accountRows(reportRequest(march.app), 3, ""), ""},
      {"/account/3/2023-03", 404, "Not found", ""},  // outside the shown period
      {"/account/" + n + "/2024-03", 404, "Not found", ""},
      {"/account/3/2024-13", 404, "Not found", ""},
      {"/account/3/2024-3", 404, "Not found", ""},
      {"/account/3/2024-03/", 404, "Not found", ""},
      {"/csv/accounts", 200, csvText(accountsExport(reportRequest(e.app))),
       "book-accounts-2024Y.csv"},
      {"/csv/account/0?a+b", 200, csvText(accountExport(reportRequest(e.app), 0, "a b")),
       "book-account-Bank-2024Y.csv"},
      {"/csv/account/0/2024-02", 200, csvText(accountExport(reportRequest(february.app), 0, "")),
       "book-account-Bank-2024-02.csv"},
      {"/csv/inventory", 200, csvText(inventoryExport(reportRequest(e.app))),
       "book-inventory-2024Y.csv"},
      {"/csv/inv/0", 200, csvText(kindExport(reportRequest(e.app), 0, "")),
       "book-kind-ACME-2024Y.csv"},
      {"/csv/monthly", 200, csvText(monthlyExport(reportRequest(e.app), -1, false, "")),
       "book-monthly-2024Y.csv"},
      {"/csv/monthly/balance/0", 200, csvText(monthlyExport(reportRequest(e.app), 0, true, "")),
       "book-monthly-balance-Bank-2024Y.csv"},
      {"/csv/inv/1", 404, "Not found", ""},
      {"/csv/account/" + n, 404, "Not found", ""},
      {"/csv/account/0/2023-01", 404, "Not found", ""},
      {"/csv/monthly/x", 404, "Not found", ""},
      {"/csv", 404, "Not found", ""},
  };
  for (const DownloadCase& c : cases) {
    const Answer a = get(port(), c.path);
    EXPECT_EQ(a.status, c.status) << c.path;
    EXPECT_EQ(a.body, c.body) << c.path;
    const bool csv = !c.file.empty();
    EXPECT_EQ(a.header("content-type"),
              csv ? "text/csv; charset=utf-8" : "text/html; charset=utf-8")
        << c.path;
    EXPECT_EQ(a.header("content-disposition"),
              csv ? "attachment; filename=\"" + c.file + "\"" : "(none)")
        << c.path;
  }
  // The month's page leaves the shown period as it was.
  EXPECT_EQ(get(port(), "/csv/accounts").body, csvText(accountsExport(reportRequest(e.app))));
}

TEST(CsvFileName, KeepsPlainCharactersOfTheLedgersName) {
  struct Case {
    std::string fileName, want;
  };
  const Case cases[] = {
      {"books.txt", "books-r-2024Y.csv"},
      {"/home/me/2024/books.ledger", "books-r-2024Y.csv"},
      {"my books (2024).v2.txt", "my_books__2024_.v2-r-2024Y.csv"},
      {"Bücher", "B__cher-r-2024Y.csv"},
      {"a\"b;c", "a_b_c-r-2024Y.csv"},
      {".hidden", "ledger.hidden-r-2024Y.csv"},
      {"dir/", "ledger-r-2024Y.csv"},
  };
  for (const Case& c : cases) {
    App app;
    app.args.fileName = c.fileName;
    EXPECT_EQ(csvFileName(app, "r", "2024Y"), c.want) << c.fileName;
  }
}

TEST_F(WebRoutes, FillsTheMainPageAndPrintsTheAddress) {
  const Expected e(ledger);
  const std::string out = viewer->out;
  EXPECT_TRUE(out.ends_with(
      "Server listening on:\n\n    http://localhost:" + std::to_string(port()) + "/\n"))
      << out;
  const Answer a = get(port(), "/");
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.header("content-type"), "text/html; charset=utf-8");
  for (const std::string& part :
       {jumpMenu(reportRequest(e.app)), balanceOfAccountsHtml(reportRequest(e.app)),
        balanceOfInventoryHtml(reportRequest(e.app)),
        (folder.path / "config/murex/murex.ini").string()})
    EXPECT_NE(a.body.find(part), std::string::npos) << part;
  for (std::string_view placeholder :
       {"[configFile]", "[jump]", "[accBalance]", "[invBalance]", "[errorStr]"})
    EXPECT_EQ(a.body.find(placeholder), std::string::npos) << placeholder;
}

TEST_F(WebRoutes, SwitchesPeriodAndFutureAndRefusesBadPeriods) {
  const std::string home = get(port(), "/").body;
  for (int i = 0; i < 2; ++i) {
    const Answer a = get(port(), "/toggleFuture");
    EXPECT_EQ(a.status, 303);
    EXPECT_EQ(a.header("location"), "/");
    EXPECT_EQ(a.header("content-type"), "(none)");
    EXPECT_EQ(a.body, "");
  }
  EXPECT_EQ(get(port(), "/").body, home);

  const Answer bad = get(port(), "/period/2030Y");
  EXPECT_EQ(bad.status, 400);
  EXPECT_EQ(bad.header("content-type"), "text/plain; charset=utf-8");
  EXPECT_EQ(bad.body, "Period 2030Y outside of ledger's dates: 20240101 - 20240501");
  const Answer wrong = get(port(), "/period/Q9");
  EXPECT_EQ(wrong.status, 400);
  EXPECT_NE(wrong.body, "");
  // The refused choices leave the range as it was, and later switches still work.
  EXPECT_EQ(get(port(), "/").body, home);
  EXPECT_EQ(get(port(), "/toggleFuture").status, 303);
  EXPECT_EQ(get(port(), "/toggleFuture").status, 303);
  EXPECT_EQ(viewer->err(), "Error: unhandled exception: " + bad.body +
                              " [ValueError]\nError: unhandled exception: " + wrong.body +
                              " [ValueError]\n");

  const Answer q1 = get(port(), "/period/Q1");
  EXPECT_EQ(q1.status, 303);
  EXPECT_EQ(q1.header("location"), "/");
  const Expected e(ledger, "Q1");
  const std::string page = get(port(), "/").body;
  EXPECT_NE(page.find(balanceOfAccountsHtml(reportRequest(e.app))), std::string::npos);
  EXPECT_NE(page.find(jumpMenu(reportRequest(e.app))), std::string::npos);
  EXPECT_EQ(get(port(), "/account/0").body, accountReport(reportRequest(e.app), 0));
}

// An absolute-form target names the host it is for, whatever Host says.
TEST_F(WebRoutes, RefusesHostsOtherThanThisMachine) {
  const struct {
    std::string_view target, host;
    int status;
  } cases[] = {
      {"/", "localhost", 200},
      {"/", "localhost:7777", 200},
      {"/", "127.0.0.1", 200},
      {"/", "127.0.0.1:80", 200},
      {"/", "[::1]", 200},
      {"/", "[::1]:7777", 200},
      {"/", "LocalHost", 200},
      {"/", "", 200},
      {"/", "evil.example", 403},
      {"/", "evil.example:7777", 403},
      {"/", "localhost.evil", 403},
      {"/", "localhost:", 403},
      {"/", "127.0.0.2", 403},
      {"/", "[::2]", 403},
      {"/", "localhost, evil", 403},
      {"http://evil.example/period/2024Q1", "localhost", 403},
      {"http://evil.example/", "", 403},
      {"http://localhost@evil.example/", "localhost", 403},
      {"http://localhost:7777/", "evil.example", 200},
      {"http://user@127.0.0.1/changed", "localhost", 200},
  };
  for (const auto& c : cases) {
    const Answer a = request(port(), "GET", c.target, c.host);
    EXPECT_EQ(a.status, c.status) << c.target << " " << c.host;
    if (c.status == 403) {
      EXPECT_EQ(a.body, "") << c.target << " " << c.host;
    }
  }
  EXPECT_EQ(get(port(), "/").status, 200);
}

// A page of another site may link to the viewer and use its files, but its image, form or
// fetch never reads, times, changes or ends anything; the page's own requests, and those of
// curl or a script, do.
TEST_F(WebRoutes, RefusesWhatAPageOfAnotherSiteAsksFor) {
  const std::string home = get(port(), "/").body;
  touch(ledger, 1700000100);
  const std::string host = "localhost:" + std::to_string(port());
  const std::string own = "Origin: http://" + host + "\r\n";
  const struct {
    std::string what, method, path, headers;
    int status;
  } cases[] = {
      {"an image", "GET", "/quit",
       "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: no-cors\r\nSec-Fetch-Dest: image\r\n", 403},
      {"a form", "POST", "/period/Q1", "Origin: http://evil.example\r\nContent-Length: 0\r\n", 403},
      {"a fetch", "GET", "/toggleFuture",
       "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: cors\r\nOrigin: http://evil.example\r\n",
       403},
      {"another port's page", "GET", "/changed",
       "Sec-Fetch-Site: same-site\r\nOrigin: http://localhost:1\r\n", 403},
      {"a sandboxed page", "POST", "/quit", "Origin: null\r\nContent-Length: 0\r\n", 403},
      {"a link to the page", "GET", "/",
       "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: navigate\r\n", 200},
      {"an old browser's link", "GET", "/", "Referer: http://evil.example/page\r\n", 200},
      {"the style sheet", "GET", "/style.css", "Sec-Fetch-Site: cross-site\r\n", 200},
      {"a frame", "GET", "/",
       "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: navigate\r\nSec-Fetch-Dest: iframe\r\n", 403},
      {"a fetch of the page", "GET", "/", "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: cors\r\n",
       403},
      {"a form posted to the page", "POST", "/",
       "Origin: http://evil.example\r\nContent-Length: 0\r\n", 403},
      {"a report's image", "GET", "/account/0", "Sec-Fetch-Site: cross-site\r\n", 403},
      {"a timed probe", "GET", "/filter/0?acme",
       "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: no-cors\r\n", 403},
      {"a chart's figures", "GET", "/chart/balance", "Origin: http://evil.example\r\n", 403},
      {"an old browser's image", "GET", "/csv/accounts", "Referer: http://evil.example/\r\n", 403},
      {"a reload", "GET", "/changed", "Sec-Fetch-Site: cross-site\r\n", 403},
      {"an address typed again", "GET", "/account/0", "Referer: http://" + host + "/\r\n", 200},
      {"the page itself", "GET", "/toggleFuture", "Sec-Fetch-Site: same-origin\r\n" + own, 303},
      {"the page again", "GET", "/toggleFuture", own, 303},
      {"an address typed", "GET", "/period/Y", "Sec-Fetch-Site: none\r\n", 303},
      {"curl", "GET", "/period/Y", "", 303},
  };
  for (const auto& c : cases) {
    const Answer a = request(port(), c.method, c.path, host, c.headers);
    EXPECT_EQ(a.status, c.status) << c.what;
    expectSafetyHeaders(a, c.what);
    if (c.status == 403) {
      EXPECT_EQ(a.body, "") << c.what;
    }
  }
  EXPECT_EQ(get(port(), "/").body, home);
  // The refused reloads did not read the file.
  EXPECT_EQ(get(port(), "/changed").body, "yes");
  EXPECT_EQ(viewer->err(), "");
  EXPECT_EQ(request(port(), "GET", "/quit", host, own).status, 200);
  EXPECT_EQ(viewer->wait(), 0);
}

TEST_F(WebRoutes, ReloadsAChangedFileAndKeepsTheLedgerThroughFaultsAndGaps) {
  EXPECT_EQ(get(port(), "/changed").body, "no");
  touch(ledger, 1700000100);
  EXPECT_EQ(get(port(), "/changed").body, "yes");
  EXPECT_EQ(get(port(), "/changed").body, "no");

  // Saved in the editor's way: gone for a moment, then back.
  const std::string good = get(port(), "/").body;
  fs::rename(ledger, folder.path / "moved");
  EXPECT_EQ(get(port(), "/changed").body, "no");
  EXPECT_EQ(get(port(), "/").body, good);
  fs::rename(folder.path / "moved", ledger);
  touch(ledger, 1700000200);

  // A faulty save shows the error page; the reports wait for a fixed one.
  writeFile(ledger, std::string(ledgerText) + "2024-06-01 <b>bad</b>\n  Nowhere 1\n  Bank\n");
  touch(ledger, 1700000300);
  EXPECT_EQ(get(port(), "/changed").body, "yes");
  App faulty;
  faulty.args.fileName = ledger.string();
  parseFile(faulty);
  ASSERT_NE(faulty.ledger->errorText, "");
  const Answer err = get(port(), "/");
  EXPECT_EQ(err.status, 200);
  EXPECT_NE(err.body.find(escapeHtml(faulty.ledger->errorText)), std::string::npos);
  EXPECT_EQ(err.body.find("<b>bad</b>"), std::string::npos);
  EXPECT_NE(err.body.find("[jump]"), std::string::npos);
  EXPECT_EQ(get(port(), "/account/0").status, 404);
  EXPECT_EQ(get(port(), "/trans/0").status, 404);
  EXPECT_EQ(get(port(), "/sumsel/1").status, 404);
  EXPECT_EQ(get(port(), "/period/Q1").status, 303);
  EXPECT_EQ(get(port(), "/toggleFuture").status, 303);

  writeFile(ledger, ledgerText);
  touch(ledger, 1700000400);
  EXPECT_EQ(get(port(), "/changed").body, "yes");
  // The period chosen before the faulty save is still the one shown.
  EXPECT_EQ(get(port(), "/").body, good);
}

// A faulty ledger at the start: the viewer prints its address and the error, serves the error
// page, and the fixed file brings the reports of the command line's period. The manual mode
// reads no ledger at all.
TEST(WebFaultyStart, ServesTheErrorPageUntilTheFileIsFixed) {
  Folder folder;
  const fs::path ledger = folder.path / "book.ledger";
  writeFile(ledger, std::string(ledgerText) + "2024-06-01 Lost\n  Nowhere 1\n  Bank\n");
  touch(ledger, 1700000000);
  App faulty;
  faulty.args.fileName = ledger.string();
  parseFile(faulty);
  const std::string error = faulty.ledger->errorText;
  ASSERT_NE(error, "");
  {
    Viewer manual(folder.path / "man", {"--man", ledger.string()});
    EXPECT_GT(manual.port, 0) << manual.err();
    EXPECT_EQ(manual.err(), "");
  }
  Viewer v(folder.path, {"-p", "Q1", ledger.string()});
  ASSERT_GT(v.port, 0) << v.err();
  EXPECT_TRUE(v.out.ends_with("    http://localhost:" + std::to_string(v.port) + "/\n")) << v.out;
  EXPECT_EQ(v.err(), "Error: unhandled exception: " + error + " [ValueError]\n");
  const Answer page = get(v.port, "/");
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("<pre id=\"errorStr\">" + escapeHtml(error) + "</pre>"),
            std::string::npos);
  for (std::string_view path : {"/account/0", "/monthly", "/chart/balance", "/csv/accounts"})
    EXPECT_EQ(get(v.port, path).status, 404) << path;
  EXPECT_EQ(get(v.port, "/changed").body, "no");

  writeFile(ledger, ledgerText);
  touch(ledger, 1700000100);
  EXPECT_EQ(get(v.port, "/changed").body, "yes");
  const Expected q1(ledger, "Q1");
  const std::string home = get(v.port, "/").body;
  EXPECT_NE(home.find(balanceOfAccountsHtml(reportRequest(q1.app))), std::string::npos);
  EXPECT_NE(home.find(jumpMenu(reportRequest(q1.app))), std::string::npos);
  EXPECT_EQ(get(v.port, "/account/0").body, accountReport(reportRequest(q1.app), 0));
  EXPECT_EQ(v.err(), "Error: unhandled exception: " + error + " [ValueError]\n");
}

// Whatever the ledger's name comes to stand for, a reload neither waits nor grows: it reads
// only a regular file, keeps the ledger it has otherwise and says why on standard error, and
// an error report quotes only the start of a huge line. "At once" is measured against a
// reload of a good ledger as large as the huge line, timed on the same machine just before,
// so that a slow or busy machine (the sanitizers, a loaded CI) moves the bound with it.
TEST_F(WebRoutes, AnswersAtOnceWhateverTheFileBecomes) {
  const std::string good = get(port(), "/").body;
  const std::string name = ledger.string();
  const std::string hugeLine(size_t(8) << 20, 'x');
  int64_t sec = 1700000100;
  // The baseline: the same two requests after the ledger became as large, a comment line
  // that the parse reads through.
  writeFile(ledger, std::string(ledgerText) + "; " + hugeLine + "\n");
  touch(ledger, sec++);
  int64_t start = http::monotonicMs();
  EXPECT_EQ(get(port(), "/changed").body, "yes");
  EXPECT_EQ(get(port(), "/").status, 200);
  const int64_t limit = 1000 + 4 * (http::monotonicMs() - start);
  writeFile(ledger, ledgerText);
  touch(ledger, sec++);
  EXPECT_EQ(get(port(), "/changed").body, "yes");
  ASSERT_EQ(get(port(), "/").body, good);
  const struct {
    std::string fault;
    std::function<void()> make;
    std::string changed;  // the answer of "/changed"
    std::string report;   // what the viewer writes on standard error
  } cases[] = {
      {"FIFO", [&] { ASSERT_EQ(mkfifo(ledger.c_str(), 0600), 0); }, "no",
       "Error: unhandled exception: Not a regular file: '" + name + "' [ValueError]\n"},
      {"device", [&] { fs::create_symlink("/dev/zero", ledger); }, "no",
       "Error: unhandled exception: Not a regular file: '" + name + "' [ValueError]\n"},
      {"directory", [&] { fs::create_directory(ledger); }, "no",
       "Error: unhandled exception: Cannot read file: '" + name + "' [ValueError]\n"},
      {"vanished", [] {}, "no", ""},
      {"huge line",
       [&] {
         writeFile(ledger, std::string(ledgerText) + "2024-06-01 Bad\n  " + hugeLine +
                               " 1\n  Bank\n");
       },
       "yes", ""},
  };
  for (const auto& c : cases) {
    const std::string errBefore = viewer->err();
    fs::remove_all(ledger);
    c.make();
    start = http::monotonicMs();
    EXPECT_EQ(get(port(), "/changed").body, c.changed) << c.fault;
    const Answer home = get(port(), "/");
    EXPECT_LT(http::monotonicMs() - start, limit) << c.fault;
    EXPECT_EQ(home.status, 200) << c.fault;
    if (c.changed == "no") {
      EXPECT_EQ(home.body, good) << c.fault;
    } else {
      EXPECT_NE(home.body.find(" bytes in all]"), std::string::npos) << c.fault;
      EXPECT_LT(home.body.size(), assets::page_html.size() + 3000) << c.fault;
    }
    EXPECT_EQ(viewer->err(), errBefore + c.report) << c.fault;

    fs::remove_all(ledger);
    writeFile(ledger, ledgerText);
    touch(ledger, sec++);
    EXPECT_EQ(get(port(), "/changed").body, "yes") << c.fault;
    EXPECT_EQ(get(port(), "/").body, good) << c.fault;
  }
}

// Memory running out while a reload reads the file is answered like a file that cannot be
// read: the viewer goes on with the ledger it has.
TEST(WebErrors, KeepsTheLedgerWhenAReloadRunsOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
  Folder folder;
  const fs::path ledger = folder.path / "book.ledger";
  writeFile(ledger, ledgerText);
  Viewer v(folder.path, {ledger.string()}, rlim_t(256) << 20);
  ASSERT_GT(v.port, 0) << v.err();
  const std::string good = get(v.port, "/").body;
  // A gigabyte without a line end, most of it a hole in the file.
  fs::resize_file(ledger, uintmax_t(1) << 30);
  EXPECT_EQ(get(v.port, "/changed").body, "no");
  EXPECT_EQ(get(v.port, "/").body, good);
  EXPECT_EQ(v.err(), "Error: unhandled exception: Out of memory [MemoryError]\n");
  EXPECT_EQ(get(v.port, "/quit").status, 200);
  EXPECT_EQ(v.wait(), 0);
}

TEST_F(WebRoutes, QuitsAfterTheAnswerWithByeAndStatusZero) {
  const Answer a = get(port(), "/quit");
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.header("content-type"), "text/html; charset=utf-8");
  EXPECT_EQ(a.body, "<html><body>Bye</body></html>");
  EXPECT_EQ(viewer->wait(), 0);
  EXPECT_EQ(viewer->err(), "Bye\n");
}

TEST_F(WebRoutes, ASecondViewerListensOnAnotherPort) {
  Folder other;
  Viewer second(other.path, {ledger.string()});
  ASSERT_GT(second.port, 0) << second.err();
  EXPECT_NE(second.port, port());
  EXPECT_EQ(get(second.port, "/changed").body, "no");
  EXPECT_EQ(get(port(), "/changed").body, "no");
  EXPECT_EQ(get(second.port, "/quit").status, 200);
  EXPECT_EQ(second.wait(), 0);
}

TEST(WebErrors, AnswersAnErrorInAReportWith500AndGoesOnServing) {
  Folder folder;
  const fs::path ledger = folder.path / "big.ledger";
  // Each balance fits, but the sum of the two assets does not.
  writeFile(ledger,
            "2024-01-01 Open\n  P 0 ; @A\n    X 90000000000000000\n    Y 0\n"
            "  Q 0 ; @L\n    Z -90000000000000000\n    W 0\n"
            "2024-02-01 More\n  Y 90000000000000000\n  W\n");
  Viewer v(folder.path, {ledger.string()});
  ASSERT_GT(v.port, 0) << v.err();
  const Answer a = get(v.port, "/");
  EXPECT_EQ(a.status, 500);
  EXPECT_EQ(a.header("content-type"), "text/plain; charset=utf-8");
  EXPECT_EQ(a.body, "Arithmetic overflow");
  EXPECT_EQ(get(v.port, "/account/1").status, 200);
  EXPECT_EQ(get(v.port, "/quit").status, 200);
  EXPECT_EQ(v.wait(), 0);
  EXPECT_EQ(v.err(), "Error: unhandled exception: Arithmetic overflow [OverflowError]\nBye\n");
}

// Sends bytes on one connection, giving up when the server closes, and reads for at most
// waitMs: what arrived, and whether the server closed the connection.
struct Exchange {
  std::string bytes;
  bool closed = false;
};
Exchange talk(int port, std::string_view bytes, int64_t waitMs = 2000) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  Exchange got;
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return got;
  }
  fcntl(fd, F_SETFL, O_NONBLOCK);
  const int64_t start = http::monotonicMs();
  while (http::monotonicMs() - start < waitMs) {
    if (!bytes.empty()) {
      const ssize_t n =
          send(fd, bytes.data(), std::min<size_t>(bytes.size(), 1 << 16), MSG_NOSIGNAL);
      if (n > 0) bytes.remove_prefix(size_t(n));
      if (n < 0 && errno != EAGAIN) bytes = {};  // the server stopped listening to us
    }
    char buf[65536];
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n > 0) {
      got.bytes.append(buf, size_t(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      got.closed = true;
      break;
    } else if (bytes.empty()) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 20);
    }
  }
  close(fd);
  return got;
}

// The viewer's resident memory now and at its peak, in bytes.
std::pair<int64_t, int64_t> residentMemory(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  int64_t now = 0, peak = 0;
  while (std::getline(in, line)) {
    if (line.starts_with("VmRSS:")) now = std::atoll(line.c_str() + 6) * 1024;
    if (line.starts_with("VmHWM:")) peak = std::atoll(line.c_str() + 6) * 1024;
  }
  return {now, peak};
}

// Requests that a proxy in front could read otherwise than the viewer does are refused and
// their connection closed; a header block is bounded before anything of it is stored, so a
// flood of headers or commas costs the viewer next to nothing.
TEST(WebFraming, RefusesAmbiguousRequestsAndBoundsTheHeaderBlock) {
  Folder folder;
  const fs::path ledger = folder.path / "book.ledger";
  writeFile(ledger, ledgerText);
  Viewer v(folder.path, {ledger.string()});
  ASSERT_GT(v.port, 0) << v.err();
  const std::string next = "GET /changed HTTP/1.1\r\nHost: localhost\r\n\r\n";
  std::string commas = "GET / HTTP/1.1\r\nHost: localhost\r\n";  // 32 MB of commas
  for (int i = 0; i < 4000; ++i)
    commas += "x" + std::to_string(i) + ": " + std::string(8000, ',') + "\r\n";
  std::string unfinished = "GET / HTTP/1.1\r\n";  // 80 MB, never ending
  for (int i = 0; i < 9990; ++i)
    unfinished += "y" + std::to_string(i) + ": " + std::string(8000, 'a') + "\r\n";
  const struct {
    std::string what, bytes, status;
  } cases[] = {
      {"length and chunks",
       "POST /x HTTP/1.1\r\nHost: localhost\r\nContent-Length: 3\r\nTransfer-Encoding: chunked"
       "\r\n\r\n0\r\n\r\n" + next,
       "HTTP/1.1 400 Bad Request\r\n"},
      {"two lengths",
       "POST /x HTTP/1.1\r\nHost: localhost\r\nContent-Length: 3\r\nContent-Length: 5\r\n\r\n"
       "abcde" + next,
       "HTTP/1.1 400 Bad Request\r\n"},
      {"two hosts", "GET / HTTP/1.1\r\nHost: localhost\r\nHost: evil.example\r\n\r\n" + next,
       "HTTP/1.1 400 Bad Request\r\n"},
      {"a length with a blank before its colon",
       "POST /x HTTP/1.1\r\nHost: localhost\r\nContent-Length : " +
           std::to_string(next.size()) + "\r\n\r\n" + next,
       "HTTP/1.1 400 Bad Request\r\n"},
      {"a length not a number",
       "POST /x HTTP/1.1\r\nHost: localhost\r\nContent-Length: 1x\r\n\r\n" + next,
       "HTTP/1.1 400 Bad Request\r\n"},
      {"version 2.0", "GET / HTTP/2.0\r\nHost: localhost\r\n\r\n" + next,
       "HTTP/1.1 505 HTTP Version Not Supported\r\n"},
      {"version 0.9", "GET / HTTP/0.9\r\n\r\n" + next,
       "HTTP/1.1 505 HTTP Version Not Supported\r\n"},
      {"a flood of commas", commas, "HTTP/1.1 431 Request Header Fields Too Large\r\n"},
      {"an endless header block", unfinished, "HTTP/1.1 431 Request Header Fields Too Large\r\n"},
  };
  const int64_t before = residentMemory(v.pid).first;
  for (const auto& c : cases) {
    const int64_t start = http::monotonicMs();
    const Exchange got = talk(v.port, c.bytes);
    EXPECT_TRUE(got.bytes.starts_with(c.status)) << c.what << ": " << got.bytes.substr(0, 80);
    // One answer, then the connection ends: nothing after it is read as a request.
    EXPECT_EQ(got.bytes.find("HTTP/1.1", 1), std::string::npos) << c.what;
    EXPECT_TRUE(got.closed) << c.what;
    EXPECT_LT(http::monotonicMs() - start, 1500) << c.what;
  }
  const auto [now, peak] = residentMemory(v.pid);
  EXPECT_LT(peak - before, int64_t(16) << 20) << "resident before " << before << ", peak " << peak;
  EXPECT_EQ(get(v.port, "/changed").body, "no");
}

// A client that sends requests and never reads the answers holds at most the output mark and
// one answer; the viewer goes on serving others.
TEST(WebFraming, BoundsWhatAClientThatNeverReadsHolds) {
  Folder folder;
  const fs::path ledger = folder.path / "book.ledger";
  writeFile(ledger, ledgerText);
  Viewer v(folder.path, {ledger.string()});
  ASSERT_GT(v.port, 0) << v.err();
  const int64_t before = residentMemory(v.pid).first;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const int small = 4096;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(v.port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  pollfd p{fd, POLLOUT, 0};
  poll(&p, 1, 1000);
  std::string requests;
  for (int i = 0; i < 1000; ++i) requests += "GET /script.js HTTP/1.1\r\nHost: localhost\r\n\r\n";
  int64_t sent = 0;
  const int64_t start = http::monotonicMs();
  while (http::monotonicMs() - start < 1500) {
    const ssize_t n = send(fd, requests.data(), requests.size(), MSG_NOSIGNAL);
    if (n > 0) sent += n;
    if (n < 0) usleep(20000);
  }
  EXPECT_GT(sent, int64_t(1) << 20);
  const auto [now, peak] = residentMemory(v.pid);
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's quarantine keeps freed answers resident for a while.
  const int64_t bound = int64_t(48) << 20;
#else
  const int64_t bound = int64_t(16) << 20;
#endif
  EXPECT_LT(peak - before, bound) << "resident before " << before << ", peak " << peak;
  EXPECT_EQ(get(v.port, "/changed").body, "no");
  close(fd);
}

TEST(WebManual, ServesTheManualWithoutALedger) {
  Folder folder;
  Viewer v(folder.path, {"--man"});
  ASSERT_GT(v.port, 0) << v.err();
  const Answer home = get(v.port, "/");
  EXPECT_EQ(home.status, 200);
  for (std::string_view placeholder :
       {"[configFile]", "[jump]", "[accBalance]", "[invBalance]", "[errorStr]"})
    EXPECT_EQ(home.body.find(placeholder), std::string::npos) << placeholder;
  for (std::string_view path : {"/account/0", "/trans/0", "/filter/0?a", "/inv/0", "/sumsel/1",
                                "/sumsel/", "/period/Q1", "/toggleFuture"}) {
    const Answer a = get(v.port, path);
    EXPECT_EQ(a.status, 404) << path;
    EXPECT_EQ(a.body, "Not found") << path;
  }
  EXPECT_EQ(get(v.port, "/changed").body, "no");
  EXPECT_EQ(get(v.port, "/style.css").status, 200);
  EXPECT_EQ(get(v.port, "/quit").status, 200);
  EXPECT_EQ(v.wait(), 0);
}

}  // namespace
