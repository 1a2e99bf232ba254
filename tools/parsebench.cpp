// Loads a ledger file exactly as the program does (parseFile: read in pieces, normalised,
// parsed) and prints what it built and how long the load took: the benchmark program of
// tools/bench-parse.sh.
#include <chrono>
#include <cstdio>

#include "app.h"
#include "error.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: parsebench FILE\n");
    return 2;
  }
  murex::App app;
  app.args.fileName = argv[1];
  const auto t0 = std::chrono::steady_clock::now();
  try {
    murex::parseFile(app);
  } catch (const murex::Error& e) {
    std::fprintf(stderr, "%s", murex::unhandledText(e).c_str());
    return 1;
  }
  const auto t1 = std::chrono::steady_clock::now();
  const murex::Ledger& ledger = *app.ledger;
  if (!ledger.errorText.empty()) {
    std::fprintf(stderr, "%s", ledger.errorText.c_str());
    return 1;
  }
  const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
  std::printf("%zu transactions, %zu splits, %zu slots; load %.1f ms\n", ledger.transactions.size(),
              ledger.splits.size(), ledger.slots.size(), ms);
  return 0;
}
