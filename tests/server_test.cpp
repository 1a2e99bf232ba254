// server: the HTTP server over loopback sockets.
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

#include "error.h"
#include "http/server.h"

using namespace murex::http;

namespace {

constexpr int64_t limit = 1000;

std::string resp(std::string_view status, std::string_view body) {
  return "HTTP/1.1 " + std::string(status) + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + std::string(body);
}

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

// A client that reads little: its receive buffer is small.
int slowClient(int port) {
  const int c = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int small = 4096;
  setsockopt(c, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  return c;
}

// Clients that ask for large answers and read none of them hold at most the bound in all; a
// large answer past it is 503, small ones still go, and all is free once they have left.
TEST(Server, AnswersBusyPastTheBoundOfWaitingAnswers) {
  TestServer ts;
  ts.server.pendingLimit = int64_t(12) << 20;
  std::vector<int> slow;
  int busy = 0;
  for (int i = 0; i < 6; ++i) {
    const int c = slowClient(ts.port);
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

struct BoundCase {
  std::vector<std::string> requests;  // each from a client of its own that reads nothing
  int64_t limit;
  std::string statuses;  // the first digit of each answer's status
  size_t routesRun;
};

// A request whose last answer was large and would cross the bound now is refused before its
// route runs: clients that leave large answers unread cost no more work than the answers
// that fit.
TEST(Server, RefusesBeforeTheRouteWhatWouldCrossTheBound) {
  const int64_t mib = int64_t(1) << 20;
  const BoundCase cases[] = {
      {{"GET /big", "GET /big", "GET /big", "GET /big"}, mib, "2555", 1},
      {{"GET /big", "GET /mid", "GET /mid", "GET /mid"}, mib, "2555", 2},
      {{"GET /big", "GET /small", "GET /small", "GET /small"}, mib, "2222", 4},
      {{"GET /big", "GET /big?again", "GET /big?other", "HEAD /big"}, mib, "2552", 2},
      {{"GET /mid", "GET /mid", "GET /mid"}, 16 * mib, "222", 3},
  };
  for (const BoundCase& bc : cases) {
    TestServer ts;
    ts.server.pendingLimit = bc.limit;
    std::vector<int> slow;
    std::string statuses;
    for (const std::string& r : bc.requests) {
      slow.push_back(slowClient(ts.port));
      sendAll(slow.back(), r + " HTTP/1.1\r\n\r\n");
      ts.pump(10);
    }
    for (const int c : slow) {
      char head[16] = {};
      const ssize_t n = recv(c, head, sizeof head, MSG_DONTWAIT);
      statuses += n == sizeof head ? head[9] : '?';
    }
    EXPECT_EQ(statuses, bc.statuses) << bc.requests[1];
    EXPECT_EQ(ts.seen.size(), bc.routesRun) << bc.requests[1];
    for (const int c : slow) close(c);
    ts.pump(20);
    EXPECT_EQ(ts.server.pendingBytes, 0);
  }
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
