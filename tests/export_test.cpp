// tests/export_test.cpp: the CSV and JSON writers' escaping and number forms, and the
// command line's new options and the commands they fit.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "args.h"
#include "export.h"

namespace murex {
namespace {

ExportCell text(std::string_view s) { return {.type = ExportCell::Type::Text, .text = std::string(s)}; }
ExportCell number(Money m) { return {.type = ExportCell::Type::Number, .number = m}; }

TEST(CsvText, QuotesOnlyWhatNeedsItAndWritesPlainNumbers) {
  struct Case {
    ExportCell cell;
    std::string field;
  };
  const Case cases[] = {
      {text("Market"), "Market"},
      {text("a, b"), "\"a, b\""},
      {text("say \"hi\""), "\"say \"\"hi\"\"\""},
      {text("two\nlines"), "\"two\nlines\""},
      {text("cr\r"), "\"cr\r\""},
      {text(" blanks kept "), " blanks kept "},
      {text("Café ; x"), "Café ; x"},
      {text(""), ""},
      {ExportCell{}, ""},
      // What a spreadsheet would run is shown as text; a number or a date is not a formula.
      {text("=HYPERLINK(\"http://x\")"), "\"'=HYPERLINK(\"\"http://x\"\")\""},
      {text("@SUM(1,2)"), "\"'@SUM(1,2)\""},
      {text("+3-1"), "'+3-1"},
      {text("-2"), "'-2"},
      {text("\t=1"), "'\t=1"},
      {text("\r=1"), "\"'\r=1\""},
      {text("a=1"), "a=1"},
      {text(" =1"), " =1"},
      {text("2024-01-31"), "2024-01-31"},
      // Bytes that are not UTF-8 become U+FFFD, as in the JSON export.
      {text("caf\xE9 \xE2\x82"), "caf\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD"},
      {text("=\xE9"), "'=\xEF\xBF\xBD"},
      {number(0), "0.00"},
      {number(5), "0.05"},
      {number(-5), "-0.05"},
      {number(123456), "1234.56"},
      {number(-100), "-1.00"},
      {number(INT64_MAX), "92233720368547758.07"},
      {number(INT64_MIN + 1), "-92233720368547758.07"},
  };
  for (const Case& c : cases) {
    ExportTable t{.columns = {"x", "y"}, .rows = {{c.cell, text("end")}}};
    EXPECT_EQ(csvText(t), "x,y\r\n" + c.field + ",end\r\n") << c.field;
  }
  EXPECT_EQ(csvText(ExportTable{.columns = {"a,b"}}), "\"a,b\"\r\n");
  EXPECT_EQ(csvText(ExportTable{.columns = {"a"}, .rows = {{number(-100)}}}), "a\r\n-1.00\r\n");
}

TEST(JsonText, EscapesStringsKeepsUtf8AndWritesNumbersExactly) {
  struct Case {
    ExportCell cell;
    std::string value;
  };
  const Case cases[] = {
      {text("plain"), "\"plain\""},
      {text("q\"b\\s/"), "\"q\\\"b\\\\s/\""},
      {text("tab\tnl\n"), "\"tab\\u0009nl\\u000a\""},
      {text(std::string("nul\0x", 5)), "\"nul\\u0000x\""},
      {text("Café €"), "\"Café €\""},
      {text("\xF0\x9F\x92\xB0"), "\"\xF0\x9F\x92\xB0\""},
      // Bytes that are not UTF-8 (Latin-1, a cut sequence, an overlong form, a surrogate).
      {text("caf\xE9"), "\"caf\xEF\xBF\xBD\""},
      {text("\xE2\x82"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {text("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {text("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {ExportCell{}, "null"},
      {number(-123456), "-1234.56"},
      {number(0), "0.00"},
  };
  for (const Case& c : cases) {
    ExportTable t{.title = {{"report", text("x")}}, .columns = {"v"}, .rows = {{c.cell}}};
    EXPECT_EQ(jsonText(t), "{\n  \"report\": \"x\",\n  \"rows\": [\n    {\"v\": " + c.value +
                               "}\n  ]\n}\n")
        << c.value;
  }
  EXPECT_EQ(jsonText(ExportTable{.title = {{"report", text("x")}}, .columns = {"v"}}),
            "{\n  \"report\": \"x\",\n  \"rows\": []\n}\n");
}

std::vector<std::string_view> words(std::initializer_list<std::string_view> w) { return w; }

TEST(NewOptions, FitTheirCommandsOnly) {
  struct Case {
    std::vector<std::string_view> words;
    std::string error;
  };
  const Case cases[] = {
      {words({"l", "mon"}), ""},
      {words({"l", "monthly", "-b", "--csv"}), ""},
      {words({"l", "acc", "--json"}), ""},
      {words({"--csv", "l", "inv", "ACME"}), ""},
      {words({"l", "mon", "-f", "", "--balance"}), ""},
      {words({"l", "acc", "--balance"}), "Option unexpected for account: --balance"},
      {words({"l", "inv", "-b"}), "Option unexpected for inventory: -b"},
      {words({"l", "--csv"}), "Option unexpected for web: --csv"},
      {words({"l", "nop", "--json"}), "Option unexpected for newopen: --json"},
      {words({"l", "acc", "--csv", "--json"}), "Option unexpected with --csv: --json"},
      {words({"--json", "l", "acc", "--csv", "--json"}), "Option unexpected with --json: --csv"},
      {words({"l", "mon", "-b", "-f", "rent"}), "Option unexpected with -f: -b"},
      {words({"l", "mon", "--filter", "x", "--balance", "-b"}),
       "Option unexpected with --filter: --balance"},
      // The first error of the walk comes first; help, version and the manual read nothing else.
      {words({"l", "nop", "--csv", "-x"}), "Unknown option: -x"},
      {words({"l", "nop", "--csv", "-h"}), ""},
      {words({"-v", "--json"}), ""},
      {words({"-m", "l", "-b"}), ""},
      {words({"l", "acc", "-csv"}), "Unknown option: -csv"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseCommandLine(c.words).cmdLineError, c.error) << c.error;
  }
  const Args a = parseCommandLine(words({"l", "mon", "Exp", "-b", "--json"}));
  EXPECT_EQ(a.command, "monthly");
  EXPECT_EQ(a.arg, "Exp");
  EXPECT_TRUE(a.balances && a.json && !a.csv);
}

}  // namespace
}  // namespace murex
