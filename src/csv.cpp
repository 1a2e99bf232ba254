#include "csv.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "errorframe.h"

namespace murex {

std::string_view CsvReader::skipLines(int64_t count) {
  std::string_view last;
  for (int64_t k = 0; k < count && pos < text.size(); ++k) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    last = text.substr(pos, end - pos);
    pos = end < text.size() ? end + 1 : end;
    ++lineNr;
  }
  return last;
}

void CsvReader::readQuoted(std::string& field, int64_t startLine) {
  ++pos;  // the opening quote
  while (true) {
    const size_t quote = text.find('"', pos);
    if (quote == std::string_view::npos)
      raiseInFile(fileName, text, startLine,
                  "Quote not closed: the field runs to the end of the file");
    const std::string_view part = text.substr(pos, quote - pos);
    for (const char c : part) lineNr += c == '\n';
    field.append(part);
    pos = quote + 1;
    if (pos < text.size() && text[pos] == '"') {
      field.push_back('"');
      ++pos;
    } else {
      return;
    }
  }
}

bool CsvReader::next(CsvRecord& record) {
  std::vector<std::string>& fields = record.fields;
  const auto isBlank = [&](char c) { return (c == ' ' || c == '\t') && c != separator; };
  while (pos < text.size()) {
    record.lineNr = lineNr;
    size_t count = 0;
    bool anything = false;
    while (true) {
      if (count == fields.size()) fields.emplace_back();
      std::string& field = fields[count++];
      field.clear();
      size_t q = pos;
      while (q < text.size() && isBlank(text[q])) ++q;
      if (q < text.size() && text[q] == '"') {
        pos = q;
        readQuoted(field, lineNr);
        // What follows a closing quote before the separator is kept, as the bank wrote it.
        while (pos < text.size() && isBlank(text[pos])) ++pos;
      }
      size_t end = pos;
      while (end < text.size() && text[end] != separator && text[end] != '\n') ++end;
      field.append(text.substr(pos, end - pos));
      pos = end;
      for (const char c : field) anything = anything || !isBlank(c);
      if (pos >= text.size() || text[pos] == '\n') break;
      ++pos;  // the separator
    }
    if (pos < text.size()) {
      ++pos;  // the line end
      ++lineNr;
    }
    fields.resize(count);
    if (anything) return true;
  }
  return false;
}

std::vector<std::string> csvLineFields(std::string_view line, char separator) {
  // A quote left open ends with the line: a header is only looked at, never imported.
  std::string closed(line);
  if (std::count(closed.begin(), closed.end(), '"') % 2 != 0) closed.push_back('"');
  CsvReader reader(closed, separator, "");
  CsvRecord record;
  if (!reader.next(record)) return {};
  return record.fields;
}

}  // namespace murex
