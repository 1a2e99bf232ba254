#include "errorframe.h"

#include <algorithm>
#include <string>
#include <string_view>

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

}  // namespace murex
