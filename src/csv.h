// csv: the records of a statement's text, read as RFC 4180 and as banks really write it:
// quoted fields with separators, doubled quotes and line breaks in them, blanks before a
// quote, blank lines anywhere, a last line without its line end. Knows no columns' meaning.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace murex {

struct CsvRecord {
  int64_t lineNr = 0;               // the line it starts on
  std::vector<std::string> fields;  // a line break in a quoted field stays "\n"
};

// Reads text whose line ends are "\n" (decodeStatement); errors are framed with fileName.
class CsvReader {
 public:
  CsvReader(std::string_view text, char separator, std::string_view fileName)
      : text(text), separator(separator), fileName(fileName) {}
  // Passes over count lines and answers the last of them ("" when none).
  std::string_view skipLines(int64_t count);
  // The next record into record (its buffers reused), records of only empty fields passed
  // over; false at the end. Raises "Quote not closed" at the line where the field began.
  bool next(CsvRecord& record);

 private:
  void readQuoted(std::string& field, int64_t startLine);
  std::string_view text;
  char separator;
  std::string_view fileName;
  size_t pos = 0;
  int64_t lineNr = 1;
};

// The fields of one line (a header line), read like a record.
std::vector<std::string> csvLineFields(std::string_view line, char separator);

}  // namespace murex
