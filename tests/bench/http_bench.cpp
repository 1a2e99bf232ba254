// A server answering every request with one small fixed response, for load generators.
// Usage: http_bench PORT
#include <cstdio>
#include <cstdlib>

#include "http/server.h"

using namespace murex::http;

int main(int argc, char** argv) {
  Server server;
  createServer(server, true, false, 8388608);
  listen(server, argc > 1 ? std::atoi(argv[1]) : 0, "127.0.0.1");
  std::printf("%d\n", boundPort(server));
  std::fflush(stdout);
  Headers headers;
  headers.set("content-type", "text/plain");
  startServing(server, [&headers](const Request&, Responder& out) {
    out.respond(200, "Hello, murex!\n", headers);
  });
  runLoop(server.loop);
}
