#include "http/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "error.h"
#include "http/response.h"

namespace murex::http {

namespace {

// Pipelined answers beyond this wait: reading stops until the peer takes them. The kernel's
// send buffer holds as much again, so a reading peer never waits on the mark; a peer that
// never reads holds at most the mark and the one answer that crossed it.
constexpr int64_t outputHighWater = 1 << 20;
// Read at most this much per readiness, then answer what it holds, so that a fast sender
// cannot heap up input faster than its requests are read.
constexpr int64_t readPerEvent = 1 << 18;

[[noreturn]] void raiseOs(std::string_view what) {
  raiseError(ErrorKind::OS, std::string(what) + ": " + std::strerror(errno));
}

// A buffer this large is given back once it is empty, so that an idle connection holds none
// of the memory a large answer took.
constexpr size_t keptCapacity = 1 << 16;
// An answer this small is sent whatever waits: the pages and their figures stay served.
constexpr int64_t smallAnswer = 1 << 16;

// Sizes of answers kept by target: past this many they are all forgotten at once.
constexpr size_t keptSizes = 4096;

int64_t pendingOut(const Connection& c) { return std::ssize(c.out) - c.outStart; }

// A large answer that would take the waiting ones past the bound is not queued, unless
// nothing else waits (so that one large answer always goes); small ones always go.
bool crossesBound(const Server& s, int64_t size) {
  return size > smallAnswer && s.pendingBytes > 0 && s.pendingBytes + size > s.pendingLimit;
}

// Whether the last answer to this method and path, whatever its query, would cross the
// bound now. Refused before the route runs, many clients that leave their large answers
// unread cost no more than the answers that fit (a query of their own for each changes
// nothing), and the others are served meanwhile.
bool refusedBeforehand(const Server& s, const std::string& target) {
  const auto known = s.answerSizes.find(target);
  return known != s.answerSizes.end() && crossesBound(s, known->second);
}

// Appends to what the connection sends, counted in the server's pending bytes.
void queue(Server& s, Connection& c, std::string_view bytes) {
  c.out.append(bytes);
  s.pendingBytes += std::ssize(bytes);
}

void releaseIfLarge(std::string& buffer) {
  if (buffer.empty() && buffer.capacity() > keptCapacity) std::string().swap(buffer);
}

void closeConnection(Server& s, int fd) {
  removeFileEvent(s.loop, fd, Readable | Writable);
  close(fd);
  std::unique_ptr<Connection> gone = std::move(s.connections[fd]);
  s.pendingBytes -= pendingOut(*gone);
  // What waited for the answer to be sent must not wait forever on a peer that left.
  for (auto& [offset, proc] : gone->afterSent) proc();
}

// Sends what the socket takes. False when the connection failed and is closed.
bool flush(Server& s, Connection& c) {
  while (c.outStart < std::ssize(c.out)) {
    const ssize_t n = send(c.fd, c.out.data() + c.outStart, c.out.size() - c.outStart,
                           MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      closeConnection(s, c.fd);
      return false;
    }
    c.outStart += n;
    s.pendingBytes -= n;
  }
  if (!c.afterSent.empty()) {
    std::vector<std::function<void()>> ready;
    for (size_t i = 0; i < c.afterSent.size();) {
      if (c.afterSent[i].first <= c.outStart) {
        ready.push_back(std::move(c.afterSent[i].second));
        c.afterSent.erase(c.afterSent.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
    for (auto& proc : ready) proc();
  }
  if (c.outStart == std::ssize(c.out) && c.afterSent.empty()) {
    c.out.clear();
    c.outStart = 0;
    releaseIfLarge(c.out);
  }
  return true;
}

void onReadable(Server& s, int fd);
void onWritable(Server& s, int fd);

// Asks the loop for what the connection waits on next, or closes it when it is done.
void updateInterest(Server& s, Connection& c) {
  const bool wantWrite = pendingOut(c) > 0;
  if (c.closing && !wantWrite) {
    closeConnection(s, c.fd);
    return;
  }
  const bool wantRead = !c.closing && !c.peerClosed && pendingOut(c) <= outputHighWater;
  const int mask = s.loop.events[c.fd].mask;
  const int fd = c.fd;
  if (wantRead && !(mask & Readable))
    addFileEvent(s.loop, fd, Readable, [&s](int f, int) { onReadable(s, f); });
  if (wantWrite && !(mask & Writable))
    addFileEvent(s.loop, fd, Writable, [&s](int f, int) { onWritable(s, f); });
  // Writable is added first so that the descriptor never drops out of the epoll set.
  if (!wantRead && (mask & Readable)) removeFileEvent(s.loop, fd, Readable);
  if (!wantWrite && (mask & Writable)) removeFileEvent(s.loop, fd, Writable);
}

// Reads every complete request that has arrived, answering them in order.
void processInput(Server& s, Connection& c) {
  while (true) {
    bool heldBack = false;  // stopped by queued answers, requests may be left in c.in
    while (!c.closing) {
      if (pendingOut(c) > outputHighWater) {
        heldBack = true;
        break;
      }
      const std::string_view buf = std::string_view(c.in).substr(c.inStart);
      Step step = parseStep(c.parse, buf, s.bodyLimit);
      if (step.kind == StepKind::NeedMore) {
        if (c.peerClosed) {
          queue(s, c, withHeaders(answerAtEnd(c.parse, buf), s.commonHeaders));
          c.closing = true;
        }
        break;
      }
      if (step.kind == StepKind::Interim) {
        queue(s, c, step.answer);
        continue;
      }
      c.inStart += step.consumed;
      if (c.inStart == std::ssize(c.in)) {
        c.in.clear();
        c.inStart = 0;
        releaseIfLarge(c.in);
      }
      if (step.kind == StepKind::Error) {
        c.parse = ParseState{};
        queue(s, c, withHeaders(step.answer, s.commonHeaders));
        if (step.close) c.closing = true;
        continue;
      }
      Request req = std::move(c.parse.request);
      c.parse = ParseState{};
      req.clientAddress = c.peer;
      req.clientFd = c.fd;
      Responder responder{s, c, req.method == "HEAD", req.method + " " + req.path};
      if (refusedBeforehand(s, responder.target))
        responder.busy();
      else
        s.callback(req, responder);
      if (!step.keepAlive) c.closing = true;
    }
    if (!flush(s, c)) return;
    // When the socket took the held-back answers at once, no readiness event would bring
    // the requests left in the buffer back: go on with them now.
    if (!heldBack || pendingOut(c) > outputHighWater) break;
  }
  updateInterest(s, c);
}

void onReadable(Server& s, int fd) {
  Connection& c = *s.connections[fd];
  char chunk[65536];
  int64_t got = 0;
  while (got < readPerEvent) {
    const ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n > 0) {
      c.in.append(chunk, static_cast<size_t>(n));
      got += n;
      if (n < static_cast<ssize_t>(sizeof chunk)) break;
      continue;
    }
    if (n == 0) {
      c.peerClosed = true;
      break;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    closeConnection(s, fd);  // reset by the peer
    return;
  }
  if (c.inStart > 0 && c.inStart * 2 > std::ssize(c.in)) {
    c.in.erase(0, static_cast<size_t>(c.inStart));
    c.inStart = 0;
  }
  processInput(s, c);
}

void onWritable(Server& s, int fd) {
  Connection& c = *s.connections[fd];
  if (!flush(s, c)) return;
  // Output drained below the mark: go on with requests that arrived meanwhile.
  if (pendingOut(c) <= outputHighWater && !c.closing) {
    processInput(s, c);
    return;
  }
  updateInterest(s, c);
}

void onAcceptable(Server& s);

void pauseAccepting(Server& s) {
  removeFileEvent(s.loop, s.socket, Readable);
  addTimer(s.loop, acceptPauseMs, [&s]() -> int64_t {
    if (registeredCount(s) + descriptorsPerRequest >= s.descriptorLimit) return acceptPauseMs;
    addFileEvent(s.loop, s.socket, Readable, [&s](int, int) { onAcceptable(s); });
    return -1;
  });
}

std::string peerText(const sockaddr_in& a) {
  char host[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
  return std::string(host) + ":" + std::to_string(ntohs(a.sin_port));
}

void onAcceptable(Server& s) {
  while (true) {
    if (registeredCount(s) + descriptorsPerRequest >= s.descriptorLimit) {
      pauseAccepting(s);
      return;
    }
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    const int fd =
        accept4(s.socket, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
      pauseAccepting(s);  // out of descriptors or memory: try again later
      return;
    }
    if (fd >= s.loop.capacity) {
      close(fd);
      pauseAccepting(s);
      return;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (std::ssize(s.connections) <= fd) s.connections.resize(static_cast<size_t>(fd) + 1);
    s.connections[fd] = std::make_unique<Connection>();
    s.connections[fd]->fd = fd;
    s.connections[fd]->peer = peerText(addr);
    addFileEvent(s.loop, fd, Readable, [&s](int f, int) { onReadable(s, f); });
  }
}

}  // namespace

void Responder::respond(int status, std::string_view body, const Headers& headers) {
  std::string bytes;
  appendResponse(bytes, status, body, headers, server.commonHeaders, !head);
  if (!target.empty()) {
    if (server.answerSizes.size() >= keptSizes) server.answerSizes.clear();
    server.answerSizes[target] = std::ssize(bytes);
  }
  if (crossesBound(server, std::ssize(bytes))) {
    busy();
    return;
  }
  queue(server, conn, bytes);
  responded = true;
}

void Responder::busy() {
  Headers h;
  h.set("retry-after", "1");
  std::string bytes;
  appendResponse(bytes, 503, statusText(503), h, server.commonHeaders, !head);
  queue(server, conn, bytes);
  responded = true;
}

void Responder::afterSent(std::function<void()> proc) {
  conn.afterSent.emplace_back(std::ssize(conn.out), std::move(proc));
}

Server::~Server() { closeServer(*this); }

void createServer(Server& server, bool reuseAddress, bool reusePort, int64_t bodyLimit) {
  server.reuseAddress = reuseAddress;
  server.reusePort = reusePort;
  server.bodyLimit = bodyLimit;
  initLoop(server.loop);
}

void listen(Server& server, int port, std::string_view address) {
  if (!tryListen(server, port, address)) raiseOs("Cannot listen on port " + std::to_string(port));
}

bool tryListen(Server& server, int port, std::string_view address) {
  rlimit lim{};
  server.descriptorLimit = 16000;
  if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY)
    server.descriptorLimit = static_cast<int64_t>(lim.rlim_cur);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  const std::string host(address);
  if (!host.empty() && inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1)
    raiseError(ErrorKind::OS, "Invalid address: '" + host + "'");
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) raiseOs("socket");
  const int one = 1;
  if ((server.reuseAddress && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) ||
      (server.reusePort && setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one) != 0) ||
      bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4096) != 0) {
    const int err = errno;
    close(fd);
    errno = err;
    return false;
  }
  server.socket = fd;
  return true;
}

int boundPort(const Server& server) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (getsockname(server.socket, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
  return ntohs(addr.sin_port);
}

int64_t registeredCount(const Server& server) { return server.loop.registered; }

void startServing(Server& server, Callback callback) {
  server.callback = std::move(callback);
  addFileEvent(server.loop, server.socket, Readable, [&server](int, int) { onAcceptable(server); });
}

void closeServer(Server& server) {
  for (auto& c : server.connections)
    if (c) close(c->fd);
  server.connections.clear();
  server.pendingBytes = 0;
  if (server.socket >= 0) close(server.socket);
  server.socket = -1;
  closeLoop(server.loop);
}

}  // namespace murex::http
