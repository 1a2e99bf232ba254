// html: text made safe for a page.
#include "html.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace murex;

TEST(EscapeHtml, ReplacesAngleBracketsAndOptionallyQuotes) {
  EXPECT_EQ(escapeHtml("a <b> & \"c\""), "a &lt;b&gt; & \"c\"");
  EXPECT_EQ(escapeHtml("a <b> & \"c\"", true), "a &lt;b&gt; & &quot;c&quot;");
}
