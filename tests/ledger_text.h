// Ledger text parsed as the loader parses a file: its normalisation, then parseLedger.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

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
