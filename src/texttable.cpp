#include "texttable.h"

#include <algorithm>
#include <cassert>

#include "unicode.h"

namespace murex {

std::string textTable(const std::vector<std::string>& data, int64_t cols, std::string_view al,
                      const std::vector<int64_t>& sepRows, bool ascii) {
  assert(cols > 0);
  const int64_t cells = std::ssize(data);
  const int64_t rows = cells / cols;
  assert(rows * cols == cells);
  assert(std::ssize(al) >= cols || cells == 0);

  std::vector<int64_t> width(cols, 0);
  for (int64_t i = 0; i < cells; ++i)
    width[i % cols] = std::max(width[i % cols], std::ssize(data[i]));

  const std::string_view colSep = ascii ? " | " : " \u2502 ";
  const std::string_view line = ascii ? "-" : "\u2500";
  const std::string_view cross = ascii ? "---" : "\u2500\u253c\u2500";

  std::string out;
  for (int64_t i = 0; i < cells; ++i) {
    const int64_t row = i / cols;
    const int64_t c = i % cols;
    if (c == 0 && std::any_of(sepRows.begin(), sepRows.end(),
                              [&](int64_t r) { return r == row || r == row - rows; })) {
      for (int64_t k = 0; k < cols; ++k) {
        for (int64_t w = 0; w < width[k]; ++w) out.append(line);
        if (k + 1 < cols) out.append(cross);
      }
      out.push_back('\n');
    }
    if (c > 0) out.append(colSep);
    const std::string& cell = data[i];
    const int64_t pad = std::max<int64_t>(0, width[c] - codePointCount(cell));
    assert(al[c] == 'L' || al[c] == 'R');
    if (al[c] == 'L') {
      out.append(cell);
      if (c + 1 < cols) out.append(pad, ' ');
    } else {
      out.append(pad, ' ');
      out.append(cell);
    }
    if (c + 1 == cols) out.push_back('\n');
  }
  return out;
}

}  // namespace murex
