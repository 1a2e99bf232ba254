// http: the request reader fed bytes, and the server over loopback sockets.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "http/message.h"
#include "http/server.h"
#include "util.h"

using namespace murex::http;

namespace {

constexpr int64_t limit = 1000;

std::string resp(std::string_view status, std::string_view body) {
  return "HTTP/1.1 " + std::string(status) + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + std::string(body);
}

// ---------------------------------------------------------------- the request reader

struct ErrorCase {
  std::string name;
  std::string bytes;
  std::string answer;
  bool close;
};

TEST(ParseRequest, AnswersEveryProtocolErrorExactly) {
  const std::string longLine(maxLineBytes + 1, 'a');
  std::string manyHeaders = "GET / HTTP/1.1\r\n";
  for (int i = 0; i <= maxHeaders; ++i) manyHeaders += "h:\r\n";
  manyHeaders += "\r\n";
  std::string bigBlock = "GET / HTTP/1.1\r\n";
  while (bigBlock.size() <= maxHeaderBlockBytes) bigBlock += "x: " + std::string(1000, ',') + "\r\n";
  const std::string bad = resp("400 Bad Request", "400 Bad Request");
  const std::string tooLarge = resp("413 Request Entity Too Large", "413 Request Entity Too Large");
  const std::string tooLargeBlock =
      resp("431 Request Header Fields Too Large", "431 Request Header Fields Too Large");
  const std::string notSupported =
      resp("505 HTTP Version Not Supported", "505 HTTP Version Not Supported");
  const ErrorCase cases[] = {
      {"unknown method", "BREW / HTTP/1.1\r\n\r\n", bad, false},
      {"lower-case method", "get / HTTP/1.1\r\n\r\n", bad, false},
      {"other protocol", "GET / FTP/1.0\r\n\r\n", bad, false},
      {"protocol without minor", "GET / HTTP/1\r\n\r\n", bad, false},
      {"protocol with trailing text", "GET / HTTP/1.1x\r\n\r\n", bad, false},
      {"four parts", "GET / HTTP/1.1 x\r\n\r\n", bad, false},
      {"double blank", "GET  / HTTP/1.1\r\n\r\n", bad, false},
      {"two parts", "GET /\r\n\r\n", bad, false},
      {"second empty line", "\r\n\r\n", bad, false},
      {"control byte in target", std::string("GET /\x01 HTTP/1.1\r\n\r\n"), bad, false},
      {"refused line with headers", "BREW / HTTP/1.1\r\nHost: a\r\nX: y\r\n\r\n", bad, false},
      {"long request line", longLine + "\r\n", tooLarge, true},
      {"long line not yet ended", longLine + "a", tooLarge, true},
      {"long header", "GET / HTTP/1.1\r\nx: " + longLine + "\r\n\r\n", tooLarge, true},
      {"too many headers", manyHeaders, "HTTP/1.1 400 Bad Request\r\n\r\n", true},
      {"post without length", "POST / HTTP/1.1\r\n\r\n",
       resp("411 Length Required", "Content-Length required."), false},
      {"length not a number", "GET / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n",
       resp("400 Bad Request", "Bad Request. Invalid Content-Length."), true},
      {"negative length", "GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
       resp("400 Bad Request", "Bad Request. Invalid Content-Length."), true},
      {"two different lengths", "GET / HTTP/1.1\r\nContent-Length: 1, 2\r\n\r\nab",
       resp("400 Bad Request", "Bad Request. Invalid Content-Length."), true},
      {"two different length lines",
       "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab",
       resp("400 Bad Request", "Bad Request. Invalid Content-Length."), true},
      {"length and chunks",
       "POST / HTTP/1.1\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
       bad, true},
      {"coding not ending in chunked",
       "POST / HTTP/1.1\r\nTransfer-Encoding: chunked, gzip\r\n\r\n", bad, true},
      {"two hosts", "GET / HTTP/1.1\r\nHost: localhost\r\nHost: other\r\n\r\n", bad, true},
      // A name with blanks before its colon, a folded line or a line that is no header: a
      // proxy may read them as the header named, so the body could pass for a request.
      {"blank before the colon of a length",
       "POST / HTTP/1.1\r\nContent-Length : 4\r\n\r\nGET /quit HTTP/1.1\r\n\r\n", bad, true},
      {"tab before the colon of a coding",
       "POST / HTTP/1.1\r\nContent-Length: 5\r\nTransfer-Encoding\t: chunked\r\n\r\n0\r\n\r\n",
       bad, true},
      {"blank before the colon of a host", "GET / HTTP/1.1\r\nHost : evil\r\n\r\n", bad, true},
      {"folded line", "GET / HTTP/1.1\r\nX: a\r\n Transfer-Encoding: chunked\r\n\r\n", bad,
       true},
      {"line without a colon", "GET / HTTP/1.1\r\nContent-Length 4\r\n\r\n", bad, true},
      {"empty name", "GET / HTTP/1.1\r\n: x\r\n\r\n", bad, true},
      {"absolute form without a host", "GET http:///x HTTP/1.1\r\n\r\n", bad, false},
      {"only a fragment", "GET #x HTTP/1.1\r\n\r\n", bad, false},
      {"version 2.0", "GET / HTTP/2.0\r\n\r\n", notSupported, true},
      {"version 1.2", "GET / HTTP/1.2\r\n\r\n", notSupported, true},
      {"version 0.9", "GET / HTTP/0.9\r\n\r\n", notSupported, true},
      {"header block over its bound", bigBlock + "\r\n", tooLargeBlock, true},
      {"unfinished header block over its bound", bigBlock, tooLargeBlock, true},
      {"trailers over the block bound",
       "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n" +
           bigBlock.substr(16),
       tooLargeBlock, true},
      {"length over the limit", "POST / HTTP/1.1\r\nContent-Length: 1001\r\n\r\n", tooLarge, true},
      {"chunk size not hex", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
       resp("411 Length Required",
            "Invalid chunked transfer encoding - chunk data size must be hex encoded"),
       true},
      {"chunk without separator", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabXY",
       resp("400 Bad Request", "Bad Request. Encoding separator must be \\r\\n"), true},
      {"chunks over the limit",
       "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3e8\r\n" + std::string(1000, 'a') +
           "\r\n1\r\n",
       tooLarge, true},
      {"huge chunk size",
       "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffffffff\r\n", tooLarge,
       true},
  };
  for (const ErrorCase& c : cases) {
    const Step step = parseRequest(c.bytes, limit, nullptr);
    EXPECT_EQ(step.kind, StepKind::Error) << c.name;
    EXPECT_EQ(step.answer, c.answer) << c.name;
    EXPECT_EQ(step.close, c.close) << c.name;
  }
}

struct GoodCase {
  std::string bytes;
  std::string method, path, query, body;
  bool keepAlive;
  std::string authority = "";
};

TEST(ParseRequest, ReadsRequestsAndTheirKeepAliveRule) {
  const GoodCase cases[] = {
      {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", "GET", "/", "", "", true},
      {"\r\nGET /a?b=c HTTP/1.1\r\n\r\n", "GET", "/a", "b=c", "", true},
      {"HEAD /x HTTP/1.1\nConnection: Close\n\n", "HEAD", "/x", "", "", false},
      {"GET / http/1.0\r\n\r\n", "GET", "/", "", "", false},
      {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", "GET", "/", "", "", true},
      {"GET / HTTP/1.1\r\nConnection: keep-alive, Upgrade\r\n\r\n", "GET", "/", "", "", false},
      {"GET http://h:1/p?q HTTP/1.1\r\n\r\n", "GET", "/p", "q", "", true, "h:1"},
      {"GET https://u:pw@h?q HTTP/1.1\r\n\r\n", "GET", "/", "q", "", true, "h"},
      {"GET / HTTP/1.1\r\nX-A.b_c~!: 1\r\n\r\n", "GET", "/", "", "", true},
      {"OPTIONS * HTTP/1.1\r\n\r\n", "OPTIONS", "*", "", "", true},
      {"POST /p HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", "POST", "/p", "", "hello", true},
      {"PUT /p HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "PUT", "/p", "", "", true},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: "
       "chunked\r\n\r\n5\r\nhello\r\nA;x=1\r\n0123456789\r\n0\r\n\r\n",
       "POST", "/", "", "hello0123456789", true},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n1\r\nz\r\n0\r\nT: 1\r\n\r\n",
       "POST", "/", "", "z", true},
      {"GET / HTTP/1.1\r\nx: " + std::string(maxLineBytes - 3, 'a') + "\r\n\r\n", "GET", "/", "",
       "", true},
  };
  for (const GoodCase& c : cases) {
    Request r;
    const Step step = parseRequest(c.bytes, limit, &r);
    ASSERT_EQ(step.kind, StepKind::Request) << c.bytes;
    EXPECT_EQ(step.consumed, std::ssize(c.bytes)) << c.bytes;
    EXPECT_EQ(r.method, c.method) << c.bytes;
    EXPECT_EQ(r.path, c.path) << c.bytes;
    EXPECT_EQ(r.query, c.query) << c.bytes;
    EXPECT_EQ(r.body, c.body) << c.bytes;
    EXPECT_EQ(step.keepAlive, c.keepAlive) << c.bytes;
    EXPECT_EQ(r.authority, c.authority) << c.bytes;
  }
}

TEST(ParseRequest, KeepsHeadersLowerCaseSplitAtCommasLaterOnesWinning) {
  Request r;
  const std::string bytes =
      "GET / HTTP/1.1\r\nAccept:  a/b, c/d ,e\r\nCookie: x=1, y=2\r\nX-One: first\r\n"
      "x-one: second\r\nEmpty:\r\n\r\n";
  ASSERT_EQ(parseRequest(bytes, limit, &r).kind, StepKind::Request);
  EXPECT_EQ(r.protocol, "HTTP/1.1");
  EXPECT_EQ(r.major, 1);
  EXPECT_EQ(r.minor, 1);
  ASSERT_EQ(r.headers.entries.size(), 4u);
  EXPECT_EQ(r.headers.entries[0].first, "accept");
  using Views = std::vector<std::string_view>;
  EXPECT_EQ(*r.headers.find("ACCEPT"), "a/b, c/d ,e");
  EXPECT_EQ(r.headers.values("ACCEPT"), (Views{"a/b", "c/d", "e"}));
  EXPECT_EQ(r.headers.values("cookie"), (Views{"x=1, y=2"}));
  EXPECT_EQ(r.headers.values("x-one"), (Views{"second"}));
  EXPECT_TRUE(r.headers.values("empty").empty());
  EXPECT_EQ(*r.headers.find("empty"), "");
  EXPECT_EQ(r.headers.find("missing"), nullptr);
  EXPECT_TRUE(r.headers.hasValue("accept", "C/D"));
  EXPECT_FALSE(r.headers.hasValue("accept", "c"));

  std::string many = "GET / HTTP/1.1\r\n";
  for (int i = 0; i < 40; ++i) many += "H" + std::to_string(i) + ": " + std::to_string(i) + "\r\n";
  many += "h3: again\r\nh39: last\r\n\r\n";
  ASSERT_EQ(parseRequest(many, limit, &r).kind, StepKind::Request);
  EXPECT_EQ(r.headers.entries.size(), 40u);
  EXPECT_EQ(*r.headers.find("h3"), "again");
  EXPECT_EQ(*r.headers.find("h39"), "last");
  EXPECT_EQ(*r.headers.find("h20"), "20");
}

TEST(ParseRequest, SendsAnInterimAnswerForExpectOnPostOnly) {
  const std::string cont = "POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n";
  ParseState st;
  Step step = parseStep(st, cont, limit);
  EXPECT_EQ(step.kind, StepKind::Interim);
  EXPECT_EQ(step.answer, "HTTP/1.1 100 Continue\r\n\r\n");
  EXPECT_EQ(parseStep(st, cont, limit).kind, StepKind::NeedMore);
  step = parseStep(st, cont + "ok", limit);
  EXPECT_EQ(step.kind, StepKind::Request);
  EXPECT_EQ(st.request.body, "ok");

  ParseState other;
  step =
      parseStep(other, "POST / HTTP/1.1\r\nExpect: something\r\nContent-Length: 0\r\n\r\n", limit);
  EXPECT_EQ(step.answer, "HTTP/1.1 417 Expectation Failed\r\n\r\n");

  ParseState get;
  EXPECT_EQ(parseStep(get, "GET / HTTP/1.1\r\nExpect: 100-continue\r\n\r\n", limit).kind,
            StepKind::Request);
}

// Every prefix of a valid request needs more, and the bytes fed one at a time give the same
// request as the whole buffer.
TEST(ParseStep, NeedsMoreOnEveryPrefixAndReadsTheSameRequestByteByByte) {
  const std::string requests[] = {
      "GET /a?b HTTP/1.1\r\nHost: x\r\nA: 1, 2\r\n\r\n",
      "\r\nPOST /p HTTP/1.0\r\nContent-Length: 3\r\nConnection: keep-alive\r\n\r\nabc",
      "POST / HTTP/1.1\r\nExpect: 100-continue\r\nTransfer-Encoding: chunked\r\n\r\n"
      "3\r\nabc\r\n10\r\n0123456789abcdef\r\n0\r\nX: y\r\n\r\n",
  };
  for (const std::string& whole : requests) {
    Request want;
    ASSERT_EQ(parseRequest(whole, limit, &want).kind, StepKind::Request) << whole;
    ParseState st;
    int interims = 0;
    for (size_t len = 0; len <= whole.size(); ++len) {
      const std::string_view prefix = std::string_view(whole).substr(0, len);
      Step step = parseStep(st, prefix, limit);
      while (step.kind == StepKind::Interim) {
        ++interims;
        step = parseStep(st, prefix, limit);
      }
      if (len < whole.size()) {
        ASSERT_EQ(step.kind, StepKind::NeedMore) << whole << " at " << len;
      } else {
        ASSERT_EQ(step.kind, StepKind::Request) << whole;
        EXPECT_EQ(step.consumed, std::ssize(whole));
        EXPECT_EQ(st.request.body, want.body);
        EXPECT_EQ(st.request.headers.entries, want.headers.entries);
        EXPECT_EQ(st.request.url, want.url);
      }
    }
    EXPECT_LE(interims, 1);
  }
}

TEST(ParseStep, AnswersAShortBodyAtTheEndOfInput) {
  ParseState st;
  const std::string bytes = "POST / HTTP/1.1\r\nContent-Length: 9\r\n\r\nabc";
  EXPECT_EQ(parseStep(st, bytes, limit).kind, StepKind::NeedMore);
  EXPECT_EQ(answerAtEnd(st, bytes),
            resp("400 Bad Request", "Bad Request. Content-Length does not match actual."));
  ParseState line;
  EXPECT_EQ(parseStep(line, "GET / HT", limit).kind, StepKind::NeedMore);
  EXPECT_EQ(answerAtEnd(line, "GET / HT"), "");
}

TEST(AppendResponse, WritesStatusHeadersAndLength) {
  Headers h;
  h.set("Content-type", "text/plain");
  h.set("location", "/, /b");
  std::string out;
  appendResponse(out, 303, "", h);
  EXPECT_EQ(out,
            "HTTP/1.1 303 See Other\r\ncontent-type: text/plain\r\nlocation: /, /b\r\n"
            "Content-Length: 0\r\n\r\n");
  Headers own;
  own.set("Content-Length", "2");
  out.clear();
  appendResponse(out, 200, "ab", own);
  EXPECT_EQ(out, "HTTP/1.1 200 OK\r\ncontent-length: 2\r\n\r\nab");
  // The server's common headers follow the answer's own, which win over them.
  Headers common;
  common.set("cache-control", "no-store");
  common.set("Content-type", "text/html");
  out.clear();
  appendResponse(out, 200, "ab", h, common);
  EXPECT_EQ(out,
            "HTTP/1.1 200 OK\r\ncontent-type: text/plain\r\nlocation: /, /b\r\n"
            "cache-control: no-store\r\nContent-Length: 2\r\n\r\nab");
  // The answer to HEAD: the same head, the length that of the body left out.
  out.clear();
  appendResponse(out, 200, "ab", h, common, false);
  EXPECT_EQ(out,
            "HTTP/1.1 200 OK\r\ncontent-type: text/plain\r\nlocation: /, /b\r\n"
            "cache-control: no-store\r\nContent-Length: 2\r\n\r\n");
  EXPECT_EQ(withHeaders(shortError(400), common),
            "HTTP/1.1 400 Bad Request\r\ncache-control: no-store\r\ncontent-type: text/html\r\n"
            "Content-Length: 15\r\n\r\n400 Bad Request");
  const std::pair<int, std::string_view> texts[] = {{200, "200 OK"},
                                                    {404, "404 Not Found"},
                                                    {411, "411 Length Required"},
                                                    {413, "413 Request Entity Too Large"},
                                                    {417, "417 Expectation Failed"},
                                                    {431, "431 Request Header Fields Too Large"},
                                                    {505, "505 HTTP Version Not Supported"},
                                                    {500, "500 Internal Server Error"},
                                                    {599, "599"}};
  for (const auto& [code, text] : texts) EXPECT_EQ(statusText(code), text);
}

// ---------------------------------------------------------------- the server on sockets

int connectTo(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  return fd;
}

void sendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ASSERT_GT(n, 0);
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

// Complete responses at the start of buf (interim ones included), each whole.
std::vector<std::string> splitResponses(std::string_view buf) {
  std::vector<std::string> out;
  while (true) {
    const size_t end = buf.find("\r\n\r\n");
    if (end == std::string_view::npos) break;
    size_t length = 0;
    const size_t cl = buf.substr(0, end).find("Content-Length: ");
    if (cl != std::string_view::npos) length = std::stoul(std::string(buf.substr(cl + 16, 20)));
    if (buf.size() < end + 4 + length) break;
    out.emplace_back(buf.substr(0, end + 4 + length));
    buf.remove_prefix(end + 4 + length);
  }
  return out;
}

// A server on 127.0.0.1 in this thread; the test pumps its loop while it waits for answers.
struct TestServer {
  Server server;
  int port = 0;
  std::vector<Request> seen;
  int bigSent = 0;  // large answers sent whole, or given up with their connection
  explicit TestServer(int64_t bodyLimit = limit) {
    createServer(server, true, false, bodyLimit);
    listen(server, 0, "127.0.0.1");
    port = boundPort(server);
    startServing(server, [this](const Request& r, Responder& out) {
      seen.push_back(r);
      if (r.path == "/big") {
        out.respond(200, std::string(8 << 20, 'b'));
        out.afterSent([this] { ++bigSent; });
      } else if (r.path == "/mid") {
        out.respond(200, std::string(100000, 'm'));
      } else {
        Headers h;
        h.set("content-type", "text/plain");
        out.respond(200, r.method + " " + r.url + " " + r.body, h);
      }
    });
  }
  struct Read {
    std::string bytes;
    bool closed = false;
  };
  // Pumps the loop and reads from client until n responses have arrived or it closed,
  // for at most waitMs.
  Read await(int client, size_t n, int64_t waitMs = 2000) {
    Read got;
    const int64_t start = monotonicMs();
    while (monotonicMs() - start < waitMs) {
      char buf[65536];
      while (true) {
        const ssize_t r = recv(client, buf, sizeof buf, MSG_DONTWAIT);
        if (r > 0) {
          got.bytes.append(buf, static_cast<size_t>(r));
        } else {
          if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) got.closed = true;
          break;
        }
      }
      if (got.closed || (n > 0 && splitResponses(got.bytes).size() >= n)) break;
      processEvents(server.loop, 5);
    }
    return got;
  }
  // Pumps the loop briefly, so that the server sees what was sent.
  void pump(int rounds = 5) {
    for (int i = 0; i < rounds; ++i) processEvents(server.loop, 2);
  }
};

std::string ok(std::string_view body) {
  return "HTTP/1.1 200 OK\r\ncontent-type: text/plain\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

TEST(Server, AnswersPipelinedRequestsInOrderAndKeepsTheConnection) {
  TestServer ts;
  const int c = connectTo(ts.port);
  sendAll(c,
          "GET /1 HTTP/1.1\r\n\r\nBREW / HTTP/1.1\r\nHost: h\r\n\r\n"
          "POST /3 HTTP/1.1\r\nContent-Length: 2\r\n\r\nhiGET /4 HTTP/1.1\r\n\r\n");
  const auto got = ts.await(c, 4);
  EXPECT_FALSE(got.closed);
  EXPECT_EQ(splitResponses(got.bytes),
            (std::vector<std::string>{ok("GET /1 "), resp("400 Bad Request", "400 Bad Request"),
                                      ok("POST /3 hi"), ok("GET /4 ")}));
  ASSERT_EQ(ts.seen.size(), 3u);
  EXPECT_EQ(ts.seen[0].clientAddress.rfind("127.0.0.1:", 0), 0u);
  sendAll(c, "GET /5 HTTP/1.1\r\n\r\n");
  EXPECT_EQ(ts.await(c, 1).bytes, ok("GET /5 "));
  close(c);
}

TEST(Server, AnswersManyPipelinedRequestsWhoseAnswersExceedTheOutputMark) {
  TestServer ts;
  const int c = connectTo(ts.port);
  std::string requests;
  for (int i = 0; i < 40; ++i) requests += "GET /mid HTTP/1.1\r\n\r\n";
  sendAll(c, requests);
  ts.pump(20);  // the server queues and sends before the client reads anything
  const auto got = ts.await(c, 40);
  EXPECT_EQ(splitResponses(got.bytes).size(), 40u);
  EXPECT_EQ(ts.seen.size(), 40u);
  close(c);
}

TEST(Server, ReadsRequestsSentOneByteAtATime) {
  TestServer ts;
  const int c = connectTo(ts.port);
  const std::string bytes =
      "POST /a HTTP/1.1\r\nExpect: 100-continue\r\nTransfer-Encoding: chunked\r\n\r\n"
      "2\r\nab\r\n0\r\n\r\nGET /b HTTP/1.0\r\n\r\n";
  for (char ch : bytes) {
    sendAll(c, std::string_view(&ch, 1));
    ts.pump(1);
  }
  const auto got = ts.await(c, 0);
  EXPECT_TRUE(got.closed);  // HTTP/1.0 without keep-alive
  EXPECT_EQ(got.bytes, "HTTP/1.1 100 Continue\r\n\r\n" + ok("POST /a ab") + ok("GET /b "));
  close(c);
}

struct CloseCase {
  std::string bytes;
  size_t responses;
  bool closed;
};

TEST(Server, ClosesOrKeepsTheConnectionAsTheRequestSays) {
  const CloseCase cases[] = {
      {"GET / HTTP/1.1\r\nConnection: close\r\n\r\n", 1, true},
      {"GET / HTTP/1.0\r\n\r\n", 1, true},
      {"GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", 1, false},
      {"GET / HTTP/1.1\r\nConnection: Upgrade\r\n\r\n", 1, true},
      {"GET / HTTP/1.1\r\n\r\n", 1, false},
      {"GET / FTP/1.0\r\n\r\n", 1, false},
      {"POST / HTTP/1.1\r\n\r\n", 1, false},
      {"POST / HTTP/1.1\r\nContent-Length: 5000\r\n\r\n", 1, true},
      {std::string(9000, 'G') + "\r\n", 1, true},
  };
  TestServer ts;
  for (const CloseCase& c : cases) {
    const int fd = connectTo(ts.port);
    sendAll(fd, c.bytes);
    auto got = ts.await(fd, c.responses);
    if (!got.closed) got.closed = ts.await(fd, 0, 200).closed;
    EXPECT_EQ(splitResponses(got.bytes).size(), c.responses) << c.bytes.substr(0, 40);
    EXPECT_EQ(got.closed, c.closed) << c.bytes.substr(0, 40);
    close(fd);
  }
}

TEST(Server, AnswersAShortBodyWhenThePeerStopsSending) {
  TestServer ts;
  const int c = connectTo(ts.port);
  sendAll(c, "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc");
  ts.pump();
  shutdown(c, SHUT_WR);
  const auto got = ts.await(c, 0);
  EXPECT_TRUE(got.closed);
  EXPECT_EQ(got.bytes,
            resp("400 Bad Request", "Bad Request. Content-Length does not match actual."));
  close(c);
}

TEST(Server, ServesOthersWhileAClientStopsReadingALargeResponse) {
  TestServer ts;
  const int slow = connectTo(ts.port);
  sendAll(slow, "GET /big HTTP/1.1\r\n\r\n");
  ts.pump(20);
  const int fast = connectTo(ts.port);
  sendAll(fast, "GET /small HTTP/1.1\r\n\r\n");
  EXPECT_EQ(ts.await(fast, 1).bytes, ok("GET /small "));
  const auto big = ts.await(slow, 1);
  ASSERT_EQ(splitResponses(big.bytes).size(), 1u);
  EXPECT_EQ(ts.bigSent, 1);
  EXPECT_EQ(big.bytes.size(), (8u << 20) + resp("200 OK", "").size() + 6);
  // A client that leaves in the middle of a large response ends only its own connection.
  const int gone = connectTo(ts.port);
  sendAll(gone, "GET /big HTTP/1.1\r\n\r\n");
  ts.pump(20);
  linger hard{1, 0};
  setsockopt(gone, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(gone);
  ts.pump(20);
  EXPECT_EQ(ts.bigSent, 2);
  sendAll(fast, "GET /again HTTP/1.1\r\n\r\n");
  EXPECT_EQ(ts.await(fast, 1).bytes, ok("GET /again "));
  close(fast);
  close(slow);
}

// Clients that ask for large answers and read none of them hold at most the bound in all; a
// large answer past it is 503, small ones still go, and all is free once they have left.
TEST(Server, AnswersBusyPastTheBoundOfWaitingAnswers) {
  TestServer ts;
  ts.server.pendingLimit = int64_t(12) << 20;
  std::vector<int> slow;
  int busy = 0;
  for (int i = 0; i < 6; ++i) {
    const int c = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int small = 4096;
    setsockopt(c, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(ts.port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    sendAll(c, "GET /big HTTP/1.1\r\n\r\n");
    ts.pump(10);
    slow.push_back(c);
    EXPECT_LE(ts.server.pendingBytes, ts.server.pendingLimit);
  }
  for (const int c : slow) {
    const std::string got = ts.await(c, 1, 200).bytes;
    if (got.starts_with("HTTP/1.1 503 Service Unavailable\r\nretry-after: 1\r\n")) ++busy;
  }
  EXPECT_GE(busy, 1);
  const int fast = connectTo(ts.port);
  sendAll(fast, "GET /small HTTP/1.1\r\n\r\n");
  EXPECT_EQ(ts.await(fast, 1).bytes, ok("GET /small "));
  for (const int c : slow) close(c);
  ts.pump(20);
  EXPECT_EQ(ts.server.pendingBytes, 0);
  sendAll(fast, "GET /big HTTP/1.1\r\n\r\n");
  EXPECT_EQ(ts.await(fast, 1).bytes.size(), (8u << 20) + resp("200 OK", "").size() + 6);
  close(fast);
}

TEST(Server, ServesHundredsOfKeepAliveConnectionsAtOnce) {
  TestServer ts;
  std::vector<int> clients;
  for (int i = 0; i < 300; ++i) {
    clients.push_back(connectTo(ts.port));
    if (i % 50 == 0) ts.pump(1);
  }
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 0; i < clients.size(); ++i)
      sendAll(clients[i], "GET /" + std::to_string(i) + " HTTP/1.1\r\n\r\n");
    for (size_t i = 0; i < clients.size(); ++i)
      ASSERT_EQ(ts.await(clients[i], 1).bytes, ok("GET /" + std::to_string(i) + " "));
  }
  EXPECT_EQ(registeredCount(ts.server), 301);
  for (int c : clients) close(c);
  ts.pump(20);
  EXPECT_EQ(registeredCount(ts.server), 1);
}

// Reads one response from a blocking socket within timeoutMs; "" when none arrived.
std::string readWithin(int fd, int timeoutMs) {
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  std::string got;
  char buf[4096];
  while (splitResponses(got).empty()) {
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

TEST(Server, PausesAcceptingNearTheDescriptorLimitInsteadOfFailing) {
  int ports[2];
  ASSERT_EQ(pipe(ports), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ports[0]);
    rlimit lim{};
    getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = 40;
    if (setrlimit(RLIMIT_NOFILE, &lim) != 0) _exit(2);
    Server s;
    createServer(s, true, false, limit);
    listen(s, 0, "127.0.0.1");
    const int port = boundPort(s);
    if (write(ports[1], &port, sizeof port) != sizeof port) _exit(3);
    close(ports[1]);
    startServing(s, [](const Request&, Responder& out) { out.respond(200, "x"); });
    runLoop(s.loop);
    _exit(0);
  }
  close(ports[1]);
  int port = 0;
  ASSERT_EQ(read(ports[0], &port, sizeof port), static_cast<ssize_t>(sizeof port));
  close(ports[0]);
  std::vector<int> clients;
  for (int i = 0; i < 60; ++i) {
    clients.push_back(connectTo(port));
    sendAll(clients.back(), "GET / HTTP/1.1\r\n\r\n");
  }
  size_t answered = 0;
  for (int c : clients) answered += !readWithin(c, answered < 20 ? 1000 : 50).empty();
  EXPECT_GT(answered, 10u);
  EXPECT_LT(answered, 40u);
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0);  // still serving
  // Freed descriptors let the waiting connections in within a pause or two.
  for (size_t i = 0; i < answered; ++i) close(clients[i]);
  size_t later = 0;
  for (size_t i = answered; i < clients.size(); ++i) {
    later += !readWithin(clients[i], 3000).empty();
    close(clients[i]);
  }
  EXPECT_EQ(later, clients.size() - answered);
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0);
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
}

TEST(Listen, RaisesAnOsErrorForAPortInUseAndReportsTheBoundPort) {
  TestServer ts;
  EXPECT_GT(ts.port, 0);
  Server other;
  createServer(other, true, false, limit);
  bool raised = false;
  try {
    listen(other, ts.port, "127.0.0.1");
  } catch (const murex::Error& e) {
    raised = e.kind == murex::ErrorKind::OS;
  }
  EXPECT_TRUE(raised);
}

}  // namespace
