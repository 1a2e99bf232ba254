// Reads a ledger file as the loader does and parses it once, printing what it built: the
// benchmark program of tools/bench-parse.sh while no console command exists for it.
#include <chrono>
#include <cstdio>
#include <string>

#include "app.h"
#include "loader.h"
#include "parse.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: parsebench FILE\n");
    return 2;
  }
  std::FILE* f = std::fopen(argv[1], "rb");
  if (f == nullptr) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  std::string bytes;
  char chunk[1 << 16];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, got);
  std::fclose(f);
  const auto t0 = std::chrono::steady_clock::now();
  const std::string text = murex::normalizeLedgerText(bytes);
  std::string().swap(bytes);
  const auto t1 = std::chrono::steady_clock::now();
  murex::Ledger ledger;
  int64_t lineNr = 1;
  murex::parseLedger(ledger, text, lineNr);
  const auto t2 = std::chrono::steady_clock::now();
  const double normMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
  const double ms = std::chrono::duration<double, std::milli>(t2 - t1).count();
  if (!ledger.errorText.empty()) {
    std::fprintf(stderr, "%s", ledger.errorText.c_str());
    return 1;
  }
  std::printf("%zu transactions, %zu splits, %zu slots; normalise %.1f ms, parse %.1f ms\n",
              ledger.transactions.size(), ledger.splits.size(), ledger.slots.size(), normMs, ms);
  return 0;
}
