// server: an HTTP/1.1 server on the event loop. It accepts connections on one listening
// socket, reads their requests in order and hands each to a callback. Knows bytes, requests
// and responses; nothing of routes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "http/loop.h"
#include "http/request.h"

namespace murex::http {

// One client connection: what has arrived and is not yet read, and what waits to be sent.
struct Connection {
  int fd = -1;
  std::string peer;
  std::string in;
  int64_t inStart = 0;  // bytes of in already read
  std::string out;
  int64_t outStart = 0;  // bytes of out already sent
  ParseState parse;
  bool peerClosed = false;                                           // nothing more will arrive
  bool closing = false;                                              // close once out is sent
  std::vector<std::pair<int64_t, std::function<void()>>> afterSent;  // run when out reaches
};

struct Server;

// Given to the callback to answer the one request it was called for.
struct Responder {
  Server& server;
  Connection& conn;
  bool head = false;   // the request was HEAD: the answer goes without its body
  std::string target;  // the method and path, under which the answer's size is kept
  bool responded = false;
  // Queues the whole response; it goes out as the socket takes it. Past the server's
  // pending bound the answer is 503 instead (busy).
  void respond(int status, std::string_view body, const Headers& headers = {});
  // Queues "503 Service Unavailable", to be asked again in a second.
  void busy();
  // Runs proc once every byte queued so far has been handed to the socket, or the
  // connection has ended before that.
  void afterSent(std::function<void()> proc);
};

using Callback = std::function<void(const Request&, Responder&)>;

struct Server {
  int socket = -1;
  bool reuseAddress = false;
  bool reusePort = false;
  int64_t bodyLimit = 0;
  int64_t descriptorLimit = 16000;
  Headers commonHeaders;  // sent with every answer, the protocol's own errors included
  // What the answers waiting in all connections may hold: an answer over 64 KiB that would
  // cross it is replaced by 503, unless no other answer waits.
  int64_t pendingLimit = int64_t(128) << 20;
  int64_t pendingBytes = 0;  // queued in every connection's out and not yet sent
  // The size of the last answer to each method and path: a request whose last answer
  // would cross the bound now is refused before it is computed again. Forgotten wholesale
  // past a few thousand targets.
  std::unordered_map<std::string, int64_t> answerSizes;
  EventLoop loop;
  Callback callback;
  std::vector<std::unique_ptr<Connection>> connections;  // indexed by descriptor
  Server() = default;
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server();
};

constexpr int64_t descriptorsPerRequest = 5;
constexpr int64_t acceptPauseMs = 500;

// Raises an OSError when the event loop cannot be made.
void createServer(Server& server, bool reuseAddress, bool reusePort, int64_t bodyLimit);
// Binds IPv4 address ("" for every interface) and port (0: the system picks one) with a
// backlog of 4096; reads the descriptor limit. Raises an OSError when binding fails.
void listen(Server& server, int port, std::string_view address);
// The same, answering false instead of raising when the socket cannot be bound.
bool tryListen(Server& server, int port, std::string_view address);
int boundPort(const Server& server);
// Descriptors registered with the server's event loop.
int64_t registeredCount(const Server& server);
// Accepts connections as they come while registeredCount + 5 stays below the descriptor
// limit, otherwise pausing 500 ms at a time, and serves each through callback.
void startServing(Server& server, Callback callback);
// Closes every connection and the listening socket.
void closeServer(Server& server);

}  // namespace murex::http
