#include "http/message.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace murex::http {

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerCopy(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = lowerAscii(c);
  return r;
}

bool equalsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string response(int status, std::string_view body) {
  std::string out;
  appendResponse(out, status, body, {});
  return out;
}

std::string bareStatus(int status) { return "HTTP/1.1 " + statusText(status) + "\r\n\r\n"; }

Step errorStep(int64_t consumed, std::string answer, bool close) {
  return {.kind = StepKind::Error,
          .consumed = consumed,
          .answer = std::move(answer),
          .close = close,
          .keepAlive = false};
}

// One line at pos: its text without the line end, or not yet complete, or too long.
enum class LineResult { Line, NeedMore, TooLong };
LineResult readLine(std::string_view buf, int64_t& pos, std::string_view& line) {
  const int64_t n = std::ssize(buf);
  const int64_t limit = std::min(n, pos + maxLineBytes + 2);
  int64_t lf = pos;
  while (lf < limit && buf[lf] != '\n') ++lf;
  if (lf == limit) {
    int64_t have = limit - pos;
    if (have > 0 && buf[limit - 1] == '\r') --have;
    return have > maxLineBytes ? LineResult::TooLong : LineResult::NeedMore;
  }
  int64_t end = lf;
  if (end > pos && buf[end - 1] == '\r') --end;
  if (end - pos > maxLineBytes) return LineResult::TooLong;
  line = buf.substr(pos, end - pos);
  pos = lf + 1;
  return LineResult::Line;
}

constexpr std::string_view methods[] = {"GET",   "POST",    "HEAD",    "PUT",  "DELETE",
                                        "PATCH", "OPTIONS", "CONNECT", "TRACE"};

bool readVersionNumber(std::string_view s, size_t& i, int64_t& value) {
  const size_t start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 9) ++i;
  if (i == start || (i < s.size() && s[i] >= '0' && s[i] <= '9')) return false;
  std::from_chars(s.data() + start, s.data() + i, value);
  return true;
}

bool parseProtocol(std::string_view s, Request& r) {
  if (s.size() < 5 || !equalsFolded(s.substr(0, 5), "http/")) return false;
  size_t i = 5;
  if (!readVersionNumber(s, i, r.major) || i >= s.size() || s[i] != '.') return false;
  ++i;
  return readVersionNumber(s, i, r.minor) && i == s.size();
}

bool parseUrl(std::string_view s, Request& r) {
  if (s.empty()) return false;
  for (char c : s)
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
  std::string_view rest = s.substr(0, s.find('#'));
  if (rest.empty()) return false;
  if (rest.front() != '/') {
    // Absolute form: the path starts after the authority.
    const size_t scheme = rest.find("://");
    if (scheme != std::string_view::npos) {
      const size_t slash = rest.find_first_of("/?", scheme + 3);
      std::string_view authority = rest.substr(scheme + 3, slash - (scheme + 3));
      authority.remove_prefix(authority.rfind('@') + 1);  // npos + 1: nothing removed
      if (authority.empty()) return false;
      r.authority = std::string(authority);
      rest = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
      // Not `= "/"`: GCC 12 at -O3 warns falsely of overlapping copies in that assignment.
      if (rest.front() == '?') r.path.assign(1, '/');
    }
  }
  const size_t q = rest.find('?');
  if (r.path.empty()) r.path = std::string(rest.substr(0, q));
  r.query = q == std::string_view::npos ? "" : std::string(rest.substr(q + 1));
  r.url = std::string(s);
  return true;
}

// Request line "METHOD target HTTP/x.y", parts split at single blanks.
bool parseRequestLine(std::string_view line, Request& r) {
  std::string_view parts[3];
  int count = 0;
  size_t start = 0;
  while (true) {
    const size_t blank = line.find(' ', start);
    if (count == 3) return false;
    parts[count++] = line.substr(start, blank == std::string_view::npos ? blank : blank - start);
    if (blank == std::string_view::npos) break;
    start = blank + 1;
  }
  if (count != 3) return false;
  if (std::find(std::begin(methods), std::end(methods), parts[0]) == std::end(methods))
    return false;
  r.method = std::string(parts[0]);
  r.protocol = std::string(parts[2]);
  return parseUrl(parts[1], r) && parseProtocol(parts[2], r);
}

// Calls part with each comma-separated part of value, trimmed, until it answers true.
template <typename Part>
bool anyPart(std::string_view value, Part part) {
  size_t start = 0;
  while (true) {
    const size_t comma = value.find(',', start);
    const std::string_view piece =
        value.substr(start, comma == std::string_view::npos ? comma : comma - start);
    if (part(trimBlanks(piece))) return true;
    if (comma == std::string_view::npos) return false;
    start = comma + 1;
  }
}

// The characters of a header name (a token).
bool isTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// False for a line that is no "name: value": a name with blanks before its colon, or a
// folded line, would be read by others as the header it names, or as part of the one before.
bool addHeader(ParseState& st, std::string_view line) {
  const size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  for (const char c : line.substr(0, colon))
    if (!isTokenChar(c)) return false;
  std::string key = lowerCopy(line.substr(0, colon));
  std::string value(trimBlanks(line.substr(colon + 1)));
  auto& entries = st.request.headers.entries;
  std::string* earlier = nullptr;
  // A few headers are searched in place; the index keeps 10000 of them from going quadratic.
  constexpr size_t indexFrom = 16;
  if (entries.size() < indexFrom) {
    for (auto& e : entries)
      if (e.first == key) earlier = &e.second;
  } else {
    if (st.headerIndex.empty())
      for (size_t i = 0; i < entries.size(); ++i) st.headerIndex.emplace(entries[i].first, i);
    const auto it = st.headerIndex.find(key);
    if (it != st.headerIndex.end()) earlier = &entries[it->second].second;
  }
  if (!earlier) {
    if (!st.headerIndex.empty()) st.headerIndex.emplace(key, std::ssize(entries));
    entries.emplace_back(std::move(key), std::move(value));
    return true;
  }
  // A later header replaces an earlier one, but not where two could be read as two requests
  // or two targets: every length given must agree, and a second Host is refused.
  if (key == "host") st.repeatedHost = true;
  if (key == "content-length") {
    earlier->append(", ").append(value);
  } else {
    *earlier = std::move(value);
  }
  return true;
}

// The length of "Content-Length: v, v" when every value is the same run of digits, else -1.
int64_t contentLength(std::string_view value) {
  std::string_view first;
  int64_t n = -1;
  const bool bad = anyPart(value, [&](std::string_view v) {
    if (n >= 0) return v != first;
    if (v.empty() || v.size() > 18) return true;
    int64_t length = 0;
    for (char c : v) {
      if (c < '0' || c > '9') return true;
      length = length * 10 + (c - '0');
    }
    first = v;
    n = length;
    return false;
  });
  return bad ? -1 : n;
}

// A chunk size line: hexadecimal digits, optionally followed by ";extension". -1 if not.
int64_t chunkSize(std::string_view line) {
  line = trimBlanks(line.substr(0, line.find(';')));
  if (line.empty()) return -1;
  int64_t n = 0;
  for (char c : line) {
    int d = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (d < 0) return -1;
    if (n > (INT64_MAX >> 4)) return INT64_MAX;  // larger than any body limit
    n = n * 16 + d;
  }
  return n;
}

bool keepAlive(const Request& r) {
  if (r.headers.hasValue("connection", "upgrade")) return false;
  if (r.major == 1 && r.minor == 1) return !r.headers.hasValue("connection", "close");
  if (r.major == 1 && r.minor == 0) return r.headers.hasValue("connection", "keep-alive");
  return false;
}

Step requestStep(ParseState& st) {
  return {.kind = StepKind::Request,
          .consumed = st.pos,
          .answer = {},
          .close = false,
          .keepAlive = keepAlive(st.request)};
}

// The request line and header lines, read only once the whole block has arrived: until then
// the block is only measured, line by line, so that nothing of one over its bound is split or
// stored. Nothing when the block has been read and the request has its headers.
std::optional<Step> readHeaderBlock(ParseState& st, std::string_view buf) {
  const int64_t n = std::ssize(buf);
  std::string_view line;
  while (true) {
    const LineResult got = readLine(buf, st.pos, line);
    if (got == LineResult::TooLong) return errorStep(n, shortError(413), true);
    if ((got == LineResult::NeedMore ? n : st.pos) - st.blockStart > maxHeaderBlockBytes)
      return errorStep(n, shortError(431), true);
    if (got == LineResult::NeedMore) return Step{};
    if (st.lineCount == 0 && line.empty()) {
      // One empty line before the request line is skipped; a second one is refused.
      if (st.skippedEmpty) return errorStep(st.pos, shortError(400), false);
      st.skippedEmpty = true;
      st.blockStart = st.pos;
      continue;
    }
    if (line.empty()) break;
    if (++st.lineCount > maxHeaders + 1) return errorStep(n, bareStatus(400), true);
  }
  const int64_t end = st.pos;
  int64_t pos = st.blockStart;
  readLine(buf, pos, line);
  Request& r = st.request;
  // A refused request line is answered once its block has been read past, so the next
  // request starts where the client thinks it does.
  if (!parseRequestLine(line, r)) return errorStep(end, shortError(400), false);
  // Another version's framing is not ours to guess.
  if (r.major != 1 || (r.minor != 0 && r.minor != 1)) return errorStep(n, shortError(505), true);
  while (readLine(buf, pos, line) == LineResult::Line && !line.empty())
    if (!addHeader(st, line)) return errorStep(n, shortError(400), true);
  st.phase = ParseState::Phase::HeadersDone;
  return std::nullopt;
}

}  // namespace

const std::string* Headers::find(std::string_view key) const {
  for (const auto& [k, v] : entries)
    if (equalsFolded(k, key)) return &v;
  return nullptr;
}

std::vector<std::string_view> Headers::values(std::string_view key) const {
  std::vector<std::string_view> out;
  const std::string* value = find(key);
  if (!value || value->empty()) return out;
  if (equalsFolded(key, "cookie")) return {*value};
  anyPart(*value, [&out](std::string_view v) {
    out.push_back(v);
    return false;
  });
  return out;
}

void Headers::set(std::string_view key, std::string value) {
  std::string k = lowerCopy(key);
  for (auto& e : entries) {
    if (e.first == k) {
      e.second = std::move(value);
      return;
    }
  }
  entries.emplace_back(std::move(k), std::move(value));
}

bool Headers::hasValue(std::string_view key, std::string_view word) const {
  const std::string* value = find(key);
  if (!value) return false;
  if (equalsFolded(key, "cookie")) return equalsFolded(*value, word);
  return anyPart(*value, [word](std::string_view v) { return equalsFolded(v, word); });
}

Step parseStep(ParseState& st, std::string_view buf, int64_t bodyLimit) {
  using Phase = ParseState::Phase;
  Request& r = st.request;
  const int64_t n = std::ssize(buf);
  while (true) {
    std::string_view line;
    switch (st.phase) {
      case Phase::HeaderBlock:
        if (std::optional<Step> step = readHeaderBlock(st, buf)) return *step;
        continue;
      case Phase::HeadersDone:
        break;
      case Phase::Body:
        if (n - st.pos < st.wanted) return {};
        r.body.assign(buf.substr(st.pos, st.wanted));
        st.pos += st.wanted;
        return requestStep(st);
      case Phase::ChunkData:
        if (n - st.pos < st.wanted + 2) return {};
        r.body.append(buf.substr(st.pos, st.wanted));
        st.pos += st.wanted;
        if (buf.substr(st.pos, 2) != "\r\n")
          return errorStep(st.pos, response(400, "Bad Request. Encoding separator must be \\r\\n"),
                           true);
        st.pos += 2;
        st.phase = Phase::Chunks;
        continue;
      case Phase::Chunks:
      case Phase::Trailers: {
        const LineResult got = readLine(buf, st.pos, line);
        if (got == LineResult::TooLong) return errorStep(n, shortError(413), true);
        if (st.phase == Phase::Trailers &&
            (got == LineResult::NeedMore ? n : st.pos) - st.blockStart > maxHeaderBlockBytes)
          return errorStep(n, shortError(431), true);
        if (got == LineResult::NeedMore) return {};
        if (st.phase == Phase::Trailers) {
          if (line.empty()) return requestStep(st);
          continue;
        }
        const int64_t size = chunkSize(line);
        if (size < 0)
          return errorStep(st.pos,
                           response(411,
                                    "Invalid chunked transfer encoding - chunk data size "
                                    "must be hex encoded"),
                           true);
        // The limit holds for the body as sent, its chunks' size lines included.
        if (size > bodyLimit - (st.pos - st.bodyStart)) return errorStep(n, shortError(413), true);
        st.wanted = size;
        st.phase = size == 0 ? Phase::Trailers : Phase::ChunkData;
        st.blockStart = st.pos;
        continue;
      }
    }
    // The header block has been read: how the body is framed.
    const std::string* length = r.headers.find("content-length");
    const std::string* coding = r.headers.find("transfer-encoding");
    // Where a proxy in front of us could read the request otherwise than we do: refused, and
    // the connection ends, so that no part of it is ever taken for the next request.
    if (st.repeatedHost || (length && coding)) return errorStep(n, shortError(400), true);
    if (r.method == "POST" && !st.interimSent && r.headers.find("expect")) {
      st.interimSent = true;
      const bool cont = anyPart(*r.headers.find("expect"), [](std::string_view v) {
        return lowerCopy(v).find("100-continue") != std::string::npos;
      });
      return {.kind = StepKind::Interim,
              .consumed = 0,
              .answer = bareStatus(cont ? 100 : 417),
              .close = false,
              .keepAlive = false};
    }
    if (length) {
      const int64_t bytes = contentLength(*length);
      if (bytes < 0)
        return errorStep(n, response(400, "Bad Request. Invalid Content-Length."), true);
      if (bytes > bodyLimit) return errorStep(n, shortError(413), true);
      st.wanted = bytes;
      st.phase = Phase::Body;
      continue;
    }
    if (coding) {
      // Only a body whose last coding is chunked shows where it ends.
      std::string_view last;
      anyPart(*coding, [&last](std::string_view v) {
        last = v;
        return false;
      });
      if (!equalsFolded(last, "chunked")) return errorStep(n, shortError(400), true);
      st.bodyStart = st.pos;
      st.phase = Phase::Chunks;
      continue;
    }
    if (r.method == "POST")
      return errorStep(st.pos, response(411, "Content-Length required."), false);
    return requestStep(st);
  }
}

std::string answerAtEnd(const ParseState& st, std::string_view buf) {
  if (st.phase == ParseState::Phase::Body && std::ssize(buf) - st.pos < st.wanted)
    return response(400, "Bad Request. Content-Length does not match actual.");
  return "";
}

Step parseRequest(std::string_view buf, int64_t bodyLimit, Request* out) {
  ParseState st;
  while (true) {
    Step step = parseStep(st, buf, bodyLimit);
    if (step.kind == StepKind::Interim) continue;
    if (step.kind == StepKind::Request && out) *out = std::move(st.request);
    return step;
  }
}

std::string statusText(int status) {
  std::string_view reason;
  switch (status) {
    case 100:
      reason = "Continue";
      break;
    case 101:
      reason = "Switching Protocols";
      break;
    case 102:
      reason = "Processing";
      break;
    case 103:
      reason = "Early Hints";
      break;
    case 200:
      reason = "OK";
      break;
    case 201:
      reason = "Created";
      break;
    case 202:
      reason = "Accepted";
      break;
    case 203:
      reason = "Non-Authoritative Information";
      break;
    case 204:
      reason = "No Content";
      break;
    case 205:
      reason = "Reset Content";
      break;
    case 206:
      reason = "Partial Content";
      break;
    case 207:
      reason = "Multi-Status";
      break;
    case 208:
      reason = "Already Reported";
      break;
    case 226:
      reason = "IM Used";
      break;
    case 300:
      reason = "Multiple Choices";
      break;
    case 301:
      reason = "Moved Permanently";
      break;
    case 302:
      reason = "Found";
      break;
    case 303:
      reason = "See Other";
      break;
    case 304:
      reason = "Not Modified";
      break;
    case 305:
      reason = "Use Proxy";
      break;
    case 307:
      reason = "Temporary Redirect";
      break;
    case 308:
      reason = "Permanent Redirect";
      break;
    case 400:
      reason = "Bad Request";
      break;
    case 401:
      reason = "Unauthorized";
      break;
    case 402:
      reason = "Payment Required";
      break;
    case 403:
      reason = "Forbidden";
      break;
    case 404:
      reason = "Not Found";
      break;
    case 405:
      reason = "Method Not Allowed";
      break;
    case 406:
      reason = "Not Acceptable";
      break;
    case 407:
      reason = "Proxy Authentication Required";
      break;
    case 408:
      reason = "Request Timeout";
      break;
    case 409:
      reason = "Conflict";
      break;
    case 410:
      reason = "Gone";
      break;
    case 411:
      reason = "Length Required";
      break;
    case 412:
      reason = "Precondition Failed";
      break;
    case 413:
      reason = "Request Entity Too Large";
      break;
    case 414:
      reason = "Request-URI Too Long";
      break;
    case 415:
      reason = "Unsupported Media Type";
      break;
    case 416:
      reason = "Requested Range Not Satisfiable";
      break;
    case 417:
      reason = "Expectation Failed";
      break;
    case 418:
      reason = "I'm a teapot";
      break;
    case 421:
      reason = "Misdirected Request";
      break;
    case 422:
      reason = "Unprocessable Entity";
      break;
    case 423:
      reason = "Locked";
      break;
    case 424:
      reason = "Failed Dependency";
      break;
    case 425:
      reason = "Too Early";
      break;
    case 426:
      reason = "Upgrade Required";
      break;
    case 428:
      reason = "Precondition Required";
      break;
    case 429:
      reason = "Too Many Requests";
      break;
    case 431:
      reason = "Request Header Fields Too Large";
      break;
    case 451:
      reason = "Unavailable For Legal Reasons";
      break;
    case 500:
      reason = "Internal Server Error";
      break;
    case 501:
      reason = "Not Implemented";
      break;
    case 502:
      reason = "Bad Gateway";
      break;
    case 503:
      reason = "Service Unavailable";
      break;
    case 504:
      reason = "Gateway Timeout";
      break;
    case 505:
      reason = "HTTP Version Not Supported";
      break;
    case 506:
      reason = "Variant Also Negotiates";
      break;
    case 507:
      reason = "Insufficient Storage";
      break;
    case 508:
      reason = "Loop Detected";
      break;
    case 510:
      reason = "Not Extended";
      break;
    case 511:
      reason = "Network Authentication Required";
      break;
    default:
      break;
  }
  std::string text = std::to_string(status);
  if (!reason.empty()) text.append(" ").append(reason);
  return text;
}

void appendResponse(std::string& out, int status, std::string_view body, const Headers& headers,
                    const Headers& common, bool withBody) {
  out.append("HTTP/1.1 ").append(statusText(status)).append("\r\n");
  for (const auto& [key, value] : headers.entries) out.append(key).append(": ").append(value).append("\r\n");
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
  for (const auto& [key, value] : common.entries) out.append(key).append(": ").append(value).append("\r\n");
  out.append(answer.substr(line + 2));
  return out;
}

std::string shortError(int status) { return response(status, statusText(status)); }

}  // namespace murex::http
