// message: HTTP/1.1 requests read from bytes and responses written as bytes. A pure reader
// over the connection's buffer, so it is tested and fuzzed without sockets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace murex::http {

constexpr int64_t maxLineBytes = 8192;  // a request line or header line, without its end
constexpr int64_t maxHeaders = 10000;
// A request line with its header lines and the empty line after them, or a chunked body's
// trailer lines: the common bound. It is checked before anything of the block is stored.
constexpr int64_t maxHeaderBlockBytes = 65536;

// Header table: keys in lower case, each with its value as received, blanks around it
// trimmed; kept in insertion order. A value is a list separated by commas ("cookie" is one
// piece), split only where it is read, so that a list costs no more than its bytes.
struct Headers {
  std::vector<std::pair<std::string, std::string>> entries;
  // The value of key (any case) as received, or nullptr.
  const std::string* find(std::string_view key) const;
  // The value of key split at commas, each part trimmed; empty when key is missing or empty.
  std::vector<std::string_view> values(std::string_view key) const;
  // Replaces the value of key (stored lower-case).
  void set(std::string_view key, std::string value);
  // True when one of the values of key equals word without regard to case.
  bool hasValue(std::string_view key, std::string_view word) const;
};

struct Request {
  std::string method;  // one of the nine names, upper case
  std::string url;     // the target as received
  std::string path;    // neither is percent-decoded
  std::string query;
  std::string authority;  // of an absolute-form target ("host:port"), which outranks Host
  std::string protocol;  // as received: "HTTP/1.1"
  int64_t major = 0;
  int64_t minor = 0;
  Headers headers;
  std::string body;
  std::string clientAddress;  // "127.0.0.1:40312", filled by the server
  int clientFd = -1;
};

enum class StepKind {
  NeedMore,  // nothing to do until more bytes arrive
  Interim,   // send answer, then call again with the same buffer
  Request,   // state.request is complete; consumed bytes are its own
  Error,     // send answer; consumed bytes are dropped; close says whether to end
};

struct Step {
  StepKind kind = StepKind::NeedMore;
  int64_t consumed = 0;
  std::string answer;      // Interim and Error: the bytes to send
  bool close = false;      // Error: end the connection after answer
  bool keepAlive = false;  // Request: the connection serves another request afterwards
};

// Where the reading of one request stands; a fresh value starts a request.
struct ParseState {
  enum class Phase { HeaderBlock, HeadersDone, Body, Chunks, ChunkData, Trailers };
  Phase phase = Phase::HeaderBlock;
  int64_t pos = 0;         // bytes of the buffer already read
  int64_t blockStart = 0;  // HeaderBlock, Trailers: where the block began
  int64_t lineCount = 0;   // HeaderBlock: lines of the block seen so far
  bool skippedEmpty = false;
  bool interimSent = false;
  bool repeatedHost = false;
  int64_t bodyStart = 0;  // Chunks: where the chunked body began
  int64_t wanted = 0;     // Body: the length; ChunkData: the chunk size
  std::unordered_map<std::string, int64_t> headerIndex;
  Request request;
};

// Reads on from state.pos in buf, which starts at the request's first byte and only grows
// between calls. After Request or Error the caller drops `consumed` bytes and resets state.
Step parseStep(ParseState& state, std::string_view buf, int64_t bodyLimit);
// What to send when the peer closed with buf holding an unfinished request ("" for nothing).
std::string answerAtEnd(const ParseState& state, std::string_view buf);
// The same reader over a whole buffer: the first request or error, with interim answers
// skipped; on Request, *out receives it.
Step parseRequest(std::string_view buf, int64_t bodyLimit, Request* out);

// "200 OK", "404 Not Found", ...: the code and its registered reason phrase.
std::string statusText(int status);
// Appends the status line, the headers ("name: value"), then those of common whose keys
// headers lacks, "Content-Length" unless present, an empty line and the body; without
// withBody (the answer to HEAD) the same head, the body left out.
void appendResponse(std::string& out, int status, std::string_view body, const Headers& headers,
                    const Headers& common = {}, bool withBody = true);
// Puts the header lines of common after the status line of answer, a response as bytes.
std::string withHeaders(std::string_view answer, const Headers& common);
// The answer of a protocol error: the status text as body.
std::string shortError(int status);

}  // namespace murex::http
