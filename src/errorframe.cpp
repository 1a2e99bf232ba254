#include "errorframe.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error.h"
#include "token.h"

namespace murex {

std::string errorFrame(std::string_view text, int64_t firstLine, int64_t lineNr,
                       std::string_view message) {
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
      context += showFormFeeds(text.substr(begin, end - begin));
      context += '\n';
    }
    if (nl == std::string_view::npos) break;
    begin = nl + 1;
    ++line;
  }
  return fillNumbered("Error at line $1: $2\n\n$3\n", {std::to_string(lineNr), message, context});
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
