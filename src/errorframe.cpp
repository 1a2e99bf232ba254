#include "errorframe.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error.h"
#include "token.h"

namespace murex {

namespace {

// A report quotes at most this much of a line, so that its size does not follow the size of
// a bad line; no ledger line of normal length comes near it. Its message quotes at most a
// part of one line and a sentence of its own.
constexpr size_t quotedLineBytes = 400;
constexpr size_t quotedMessageBytes = quotedLineBytes + 200;

// text whole up to limit bytes; longer, its start up to a character's end and a mark that
// says how long it was.
std::string quoteBounded(std::string_view text, size_t limit, bool showsFormFeeds) {
  size_t cut = std::min(text.size(), limit);
  while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
    --cut;
  const std::string_view part = text.substr(0, cut);
  std::string out = showsFormFeeds ? showFormFeeds(part) : std::string(part);
  if (cut < text.size()) out += " [... cut, " + std::to_string(text.size()) + " bytes in all]";
  return out;
}

}  // namespace

std::string quotedMessage(std::string_view message) {
  return quoteBounded(message, quotedMessageBytes, false);
}

namespace {

// The numbered lines around lineNr, the failing one marked.
std::string frameContext(std::string_view text, int64_t firstLine, int64_t lineNr) {
  const int64_t first = std::max<int64_t>(1, lineNr - 3);
  const int64_t last = lineNr + 2;
  const size_t width = std::to_string(last).size();
  std::string context;
  int64_t line = firstLine;
  size_t begin = 0;
  while (line <= last) {
    const size_t nl = text.find('\n', begin);
    const size_t end = nl == std::string_view::npos ? text.size() : nl;
    if (line >= first) {
      const std::string number = std::to_string(line);
      context += line == lineNr ? "> " : "  ";
      context.append(width - number.size(), ' ');
      context += number;
      context += " | ";
      context += quoteBounded(text.substr(begin, end - begin), quotedLineBytes, true);
      context += '\n';
    }
    if (nl == std::string_view::npos) break;
    begin = nl + 1;
    ++line;
  }
  return context;
}

}  // namespace

std::string errorFrame(std::string_view text, int64_t firstLine, int64_t lineNr,
                       std::string_view message) {
  return fillNumbered("Error at line $1: $2\n\n$3\n",
                      {std::to_string(lineNr), quotedMessage(message),
                       frameContext(text, firstLine, lineNr)});
}

std::string fileErrorFrame(std::string_view fileName, std::string_view text, int64_t lineNr,
                           std::string_view message) {
  return fillNumbered("Error in $1 at line $2: $3\n\n$4\n",
                      {fileName, std::to_string(lineNr), quotedMessage(message),
                       frameContext(text, 1, lineNr)});
}

[[noreturn]] void raiseInFile(std::string_view fileName, std::string_view text, int64_t lineNr,
                              std::string_view message) {
  raiseError(ErrorKind::Value, fileErrorFrame(fileName, text, lineNr, message));
}

std::string& QuotedPieces::add(int64_t firstLine) {
  Piece& piece = kept.emplace_back();
  piece.firstLine = firstLine;
  if (!spares.empty()) {
    piece.text = std::move(spares.back());
    spares.pop_back();
  }
  return piece.text;
}

void QuotedPieces::dropLast() {
  spares.push_back(std::move(kept.back().text));
  kept.pop_back();
}

void QuotedPieces::keepQuotable(int64_t lineNr, int64_t splitLine) {
  // A report quotes three lines before its line and two after.
  const auto quotable = [&](size_t k) {
    const int64_t first = kept[k].firstLine;
    const int64_t last = kept[k + 1].firstLine - 1;
    const bool nearSplit = splitLine > 0 && first <= splitLine + 2 && last >= splitLine - 3;
    return nearSplit || last >= lineNr - 3;
  };
  size_t to = 0;
  for (size_t k = 0; k < kept.size(); ++k) {
    if (k + 1 < kept.size() && !quotable(k)) {
      spares.push_back(std::move(kept[k].text));
    } else {
      if (k != to) kept[to] = std::move(kept[k]);
      ++to;
    }
  }
  kept.resize(to);
}

int64_t QuotedPieces::endLine() const {
  if (kept.empty()) return 1;
  const std::string& text = kept.back().text;
  return kept.back().firstLine + int64_t(std::count(text.begin(), text.end(), '\n'));
}

std::string QuotedPieces::frame(int64_t lineNr, std::string_view message) const {
  // The pieces around the failing line follow each other; others kept may lie before.
  const int64_t from = std::max<int64_t>(1, lineNr - 3);
  size_t k = 0;
  while (k + 1 < kept.size() && kept[k + 1].firstLine <= from) ++k;
  std::string text;
  for (size_t i = k; i < kept.size(); ++i) text += kept[i].text;
  return errorFrame(text, kept.empty() ? 1 : kept[k].firstLine, lineNr, message);
}

}  // namespace murex
