// loader: the ledger file's bytes turned into the text the parse reads, line ends made one
// line feed and each ";;" a form feed, in pieces of whole lines; and the other files a
// command reads whole (a statement, its rules).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace murex {

// One left-to-right pass: "\r\r\n", "\r\n" and "\r" become "\n", ";;" becomes a form feed.
std::string normalizeLedgerText(std::string_view raw);
// The bytes of a file (or a pipe) read to its end; raises "Cannot read file: '<name>'".
std::string readWholeFile(const std::string& name);
// A file read in pieces of whole lines, normalised on the way, so that the parse never needs
// the whole file in memory.
class LedgerReader {
 public:
  explicit LedgerReader(int fd, size_t blockSize = size_t(1) << 20)
      : fd(fd), blockSize(blockSize) {}
  // The next piece into piece (a buffer to reuse): every piece but the last ends with a line
  // feed, and together they are the normalised file. False at the end or when a read fails.
  // A line longer than maxLineBytes ends the reading: its start is the last piece.
  bool next(std::string& piece);
  bool failed() const { return readFailed; }
  bool lineTooLong() const { return tooLong; }
  static constexpr size_t maxLineBytes = size_t(1) << 24;

 private:
  int fd;
  size_t blockSize;
  bool done = false;
  bool readFailed = false;
  bool tooLong = false;
  std::string partLine;   // normalised text after the last line feed handed out
  std::string undecided;  // raw bytes whose meaning waits for the next ones
};

}  // namespace murex
