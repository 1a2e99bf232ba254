// texttable: the console's tables, cells padded by characters and framed with box-drawing or
// ASCII lines. Knows nothing of ledgers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace murex {

// Cells in row order, cols columns, al one 'L' or 'R' per column, a separator line before
// each row of sepRows (negative counts from the end).
std::string textTable(const std::vector<std::string>& data, int64_t cols, std::string_view al,
                      const std::vector<int64_t>& sepRows, bool ascii);

}  // namespace murex
