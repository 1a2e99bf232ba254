// template: named placeholders filled in one pass.
#include "template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace murex;

TEST(FillNamed, ReplacesOnceWithTheLongestName) {
  const std::string got = fillNamed("<td>$debit</td><td>$debitSum</td>$rows $unknown $",
                                    {{"debit", "$rows"}, {"debitSum", "9"}, {"rows", "R"}});
  EXPECT_EQ(got, "<td>$rows</td><td>9</td>R $unknown $");
}
