#include "http/response.h"


#include <algorithm>
#include <charconv>
#include <iterator>

namespace murex::http {

namespace {

struct StatusRow {
  int status;
  std::string_view reason;
};

// The registered reason phrases, by code.
constexpr StatusRow statusRows[] = {
    {100, "Continue"},
    {101, "Switching Protocols"},
    {102, "Processing"},
    {103, "Early Hints"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {207, "Multi-Status"},
    {208, "Already Reported"},
    {226, "IM Used"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {307, "Temporary Redirect"},
    {308, "Permanent Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Request Entity Too Large"},
    {414, "Request-URI Too Long"},
    {415, "Unsupported Media Type"},
    {416, "Requested Range Not Satisfiable"},
    {417, "Expectation Failed"},
    {418, "I'm a teapot"},
    {421, "Misdirected Request"},
    {422, "Unprocessable Entity"},
    {423, "Locked"},
    {424, "Failed Dependency"},
    {425, "Too Early"},
    {426, "Upgrade Required"},
    {428, "Precondition Required"},
    {429, "Too Many Requests"},
    {431, "Request Header Fields Too Large"},
    {451, "Unavailable For Legal Reasons"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
    {506, "Variant Also Negotiates"},
    {507, "Insufficient Storage"},
    {508, "Loop Detected"},
    {510, "Not Extended"},
    {511, "Network Authentication Required"},
};

}  // namespace

std::string statusText(int status) {
  std::string text = std::to_string(status);
  const auto row = std::lower_bound(std::begin(statusRows), std::end(statusRows), status,
                                    [](const StatusRow& r, int s) { return r.status < s; });
  if (row != std::end(statusRows) && row->status == status) text.append(" ").append(row->reason);
  return text;
}

void appendResponse(std::string& out, int status, std::string_view body, const Headers& headers,
                    const Headers& common, bool withBody) {
  out.append("HTTP/1.1 ").append(statusText(status)).append("\r\n");
  for (const auto& [key, value] : headers.entries)
    out.append(key).append(": ").append(value).append("\r\n");
  for (const auto& [key, value] : common.entries)
    if (!headers.find(key)) out.append(key).append(": ").append(value).append("\r\n");
  if (!headers.find("content-length")) {
    char digits[24];
    const auto res = std::to_chars(digits, digits + sizeof digits, body.size());
    out.append("Content-Length: ").append(digits, size_t(res.ptr - digits)).append("\r\n");
  }
  out.append("\r\n");
  if (withBody) out.append(body);
}

std::string withHeaders(std::string_view answer, const Headers& common) {
  const size_t line = answer.find("\r\n");
  if (line == std::string_view::npos || common.entries.empty()) return std::string(answer);
  std::string out(answer.substr(0, line + 2));
  for (const auto& [key, value] : common.entries)
    out.append(key).append(": ").append(value).append("\r\n");
  out.append(answer.substr(line + 2));
  return out;
}

std::string shortError(int status) { return plainResponse(status, statusText(status)); }

std::string plainResponse(int status, std::string_view body) {
  std::string out;
  appendResponse(out, status, body, {});
  return out;
}

std::string bareStatus(int status) { return "HTTP/1.1 " + statusText(status) + "\r\n\r\n"; }

}  // namespace murex::http
