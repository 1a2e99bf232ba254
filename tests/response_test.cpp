// response: answers written as bytes.
#include "http/response.h"

#include <gtest/gtest.h>

#include <string>

using namespace murex::http;

namespace {

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

}  // namespace
