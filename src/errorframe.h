// errorframe: the report of a ledger's (or a statement's) first error, "Error at line N:
// message" with the lines around it, three before and two after, the failing one marked;
// and the pieces of a text read in pieces that such a report may still quote.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace murex {

// The message as a report quotes it: whole, or its start and how long it was.
std::string quotedMessage(std::string_view message);

// "> 12 | text" for the failing line, "  11 | text" around it; text begins with line
// firstLine and holds the lines the report quotes.
std::string errorFrame(std::string_view text, int64_t firstLine, int64_t lineNr,
                       std::string_view message);
// The same report for a whole text of another file (a statement, its rules):
// "Error in <file> at line N: message" with the lines around it.
std::string fileErrorFrame(std::string_view fileName, std::string_view text, int64_t lineNr,
                           std::string_view message);
// Raises that report as a ValueError.
[[noreturn]] void raiseInFile(std::string_view fileName, std::string_view text, int64_t lineNr,
                              std::string_view message);

// The pieces of a text read in pieces that keep the lines an error report could quote: the
// last piece, and those near a given line. A large file is never held whole.
class QuotedPieces {
 public:
  // Room for the next piece (a buffer used before), which begins with line firstLine.
  std::string& add(int64_t firstLine);
  void dropLast();  // the piece added last did not come
  const std::string& last() const { return kept.back().text; }
  // Keeps, besides the last piece, those that hold a line the report of an error at line
  // lineNr or at line splitLine (0: none) would quote.
  void keepQuotable(int64_t lineNr, int64_t splitLine);
  int64_t endLine() const;  // the first line after the pieces kept
  // The report of message at line lineNr, quoting the pieces kept.
  std::string frame(int64_t lineNr, std::string_view message) const;

 private:
  struct Piece {
    int64_t firstLine = 1;
    std::string text;
  };
  std::vector<Piece> kept;
  std::vector<std::string> spares;
};

}  // namespace murex
