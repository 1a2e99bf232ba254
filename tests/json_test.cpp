// tests/json_test.cpp: the one rule for bytes that are not UTF-8, and JSON strings.
#include "json.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace murex {
namespace {

TEST(AppendWellFormed, ReplacesEachByteThatIsNotUtf8) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", ""},
      {"plain \t\n", "plain \t\n"},
      {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xB0", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xB0"},
      {"caf\xE9!", "caf\xEF\xBF\xBD!"},                               // Latin-1
      {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD"},                       // cut at the end
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                       // overlong
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},       // surrogate
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // past U+10FFFF
      {"\x80x\xFF", "\xEF\xBF\xBDx\xEF\xBF\xBD"},
  };
  for (const auto& [bytes, want] : cases) {
    std::string out = "<";
    appendWellFormed(out, bytes);
    EXPECT_EQ(out, "<" + std::string(want)) << bytes;
  }
  EXPECT_EQ(jsonString(std::string_view("q\"b\\\0\xE9", 6)), "\"q\\\"b\\\\\\u0000\xEF\xBF\xBD\"");
}

}  // namespace
}  // namespace murex
