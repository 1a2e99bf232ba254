// request: HTTP/1.1 requests read from bytes. A pure reader over the connection's buffer, so
// it is tested and fuzzed without sockets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "http/headers.h"

namespace murex::http {

constexpr int64_t maxLineBytes = 8192;  // a request line or header line, without its end
constexpr int64_t maxHeaders = 10000;
// A request line with its header lines and the empty line after them, or a chunked body's
// trailer lines: the common bound. It is checked before anything of the block is stored.
constexpr int64_t maxHeaderBlockBytes = 65536;

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

}  // namespace murex::http
