// texttable: the console tables.
#include "texttable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace murex;

struct TableCase {
  std::string_view name;
  std::vector<std::string> data;
  int64_t cols;
  std::string_view al;
  std::vector<int64_t> sepRows;
  bool ascii;
  std::string_view want;
};

TEST(TextTable, LaysOutCellsBordersAndLines) {
  const TableCase cases[] = {
      {"empty", {}, 3, "LRL", {1}, false, ""},
      {"header only", {"Date", "Sum"}, 2, "LR", {1}, true, "Date | Sum\n"},
      {"five rows",
       {"H", "h", "a", "1", "b", "2", "S", "3", "C", "4"},
       2,
       "LR",
       {1, -2},
       true,
       "H | h\n-----\na | 1\nb | 2\n-----\nS | 3\nC | 4\n"},
      {"three rows: one line", {"H", "a", "S"}, 1, "L", {1, -2}, true, "H\n-\na\nS\n"},
      {"two rows: -2 is row 0", {"H", "a"}, 1, "L", {1, -2}, true, "-\nH\n-\na\n"},
      {"named twice", {"H", "a"}, 1, "L", {1, 1, -1}, true, "H\n-\na\n"},
      {"last column right pads, left does not",
       {"abc", "x", "y", "z", "wide", "w"},
       3,
       "RRL",
       {1},
       true,
       "abc |    x | y\n--------------\n  z | wide | w\n"},
      {"ascii widths 3 and 2",
       {"abc", "de", "f", "g"},
       2,
       "LL",
       {1},
       true,
       "abc | de\n--------\nf   | g\n"},
      {"unicode borders",
       {"ab", "c", "d", "e"},
       2,
       "RR",
       {1},
       false,
       "ab \u2502 c\n\u2500\u2500\u2500\u253c\u2500\u2500\n d \u2502 e\n"},
      {"bytes widen, code points pad",
       {"Caf\u00e9", "1", "Tea", "2"},
       2,
       "LR",
       {},
       true,
       "Caf\u00e9  | 1\nTea   | 2\n"},
  };
  for (const TableCase& c : cases)
    EXPECT_EQ(textTable(c.data, c.cols, c.al, c.sepRows, c.ascii), c.want) << c.name;
}

TEST(TextTable, PadsInvalidUtf8ByteByByte) {
  // Two stray bytes are two characters of their own: no padding needed for width 2.
  EXPECT_EQ(textTable({"\xff\xfe", "x", "ab", "y"}, 2, "LL", {}, true), "\xff\xfe | x\nab | y\n");
}
