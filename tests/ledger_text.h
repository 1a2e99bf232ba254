// Ledger text parsed as the loader parses a file: its normalisation, then parseLedger.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <string_view>

#include "app.h"
#include "loader.h"
#include "parse.h"

namespace murex {

inline std::string normalisedLedger(std::string_view raw) { return normalizeLedgerText(raw); }

inline Ledger parsedLedger(std::string_view raw) {
  Ledger ledger;
  const std::string text = normalizeLedgerText(raw);
  int64_t lineNr = 1;
  parseLedger(ledger, text, lineNr);
  return ledger;
}

// The state of the program after it read text from fileName, showing the days from..to of
// the year's period "Y". The parse must succeed.
inline App reportingApp(std::string_view text, Datum from, Datum to, std::string fileName,
                        int64_t year) {
  App app;
  app.ledger = std::make_unique<Ledger>(parsedLedger(text));
  EXPECT_EQ(app.ledger->errorText, "");
  app.args.fileName = std::move(fileName);
  app.period.fromDate = from;
  app.period.toDate = to;
  app.period.firstDate = app.ledger->transactions.front().date;
  app.period.lastDate = app.ledger->transactions.back().date;
  app.period.year = year;
  app.period.name = "Y";
  return app;
}

// The bytes as an unnamed in-memory file, positioned at its start; -1 if that fails.
inline int memoryFile(std::string_view bytes) {
  const int fd = memfd_create("ledger", MFD_CLOEXEC);
  if (fd < 0) return -1;
  if (write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) ||
      lseek(fd, 0, SEEK_SET) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The same, read as the loader reads a file: in pieces of blockSize bytes.
inline Ledger parsedInPieces(std::string_view raw, size_t blockSize) {
  Ledger ledger;
  const int fd = memoryFile(raw);
  if (fd < 0) return ledger;
  LedgerReader reader(fd, blockSize);
  int64_t lineNr = 1;
  parseLedgerPieces(
      ledger, [&reader](std::string& piece) { return reader.next(piece); },
      std::ssize(raw), lineNr);
  close(fd);
  return ledger;
}

}  // namespace murex
