#include "http/request.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "http/response.h"

namespace murex::http {

namespace {

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
          return errorStep(
              st.pos, plainResponse(400, "Bad Request. Encoding separator must be \\r\\n"), true);
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
                           plainResponse(411,
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
        return errorStep(n, plainResponse(400, "Bad Request. Invalid Content-Length."), true);
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
      return errorStep(st.pos, plainResponse(411, "Content-Length required."), false);
    return requestStep(st);
  }
}

std::string answerAtEnd(const ParseState& st, std::string_view buf) {
  if (st.phase == ParseState::Phase::Body && std::ssize(buf) - st.pos < st.wanted)
    return plainResponse(400, "Bad Request. Content-Length does not match actual.");
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

}  // namespace murex::http
