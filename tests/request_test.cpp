// request: the request reader fed bytes, every prefix of a request and every error.
#include "http/request.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

using namespace murex::http;

namespace {

constexpr int64_t limit = 1000;

std::string resp(std::string_view status, std::string_view body) {
  return "HTTP/1.1 " + std::string(status) + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + std::string(body);
}

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

}  // namespace
