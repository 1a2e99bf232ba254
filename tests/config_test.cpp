// config: where murex.ini lives, and what each line of it does.
#include "config.h"
#include "error.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>


using namespace murex;

namespace {

// A fresh folder that XDG_CONFIG_HOME points to for one test; removed afterwards.
class ConfigFile : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/murex-config-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    path = dir + "/murex/murex.ini";
  }
  void TearDown() override {
    std::remove(path.c_str());
    ::rmdir(path.c_str());
    ::rmdir((dir + "/murex").c_str());
    ::rmdir(dir.c_str());
    ::unsetenv("XDG_CONFIG_HOME");
  }
  void write(std::string_view text) {
    ::mkdir((dir + "/murex").c_str(), 0700);
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  // The message of the load, or "" when it succeeds.
  std::string loadError() {
    try {
      configFileLoad();
    } catch (const Error& e) {
      return e.message;
    }
    return "";
  }
  std::string dir;
  std::string path;
};

void expectDefaults(const Config& c) {
  EXPECT_FALSE(c.decimalComma);
  EXPECT_EQ(c.number, "###,###,###,###.##");
  EXPECT_EQ(c.outDate, "y-m-d");
  EXPECT_EQ(c.inDate, "y-m-d");
}

}  // namespace

TEST(ConfigFilePath, FollowsXdgConfigHomeElseHome) {
  struct Case {
    const char* xdg;  // nullptr: unset
    const char* home;
    std::string_view want;
  };
  const Case cases[] = {
      {"/tmp/cfg/", "/home/user", "/tmp/cfg/murex/murex.ini"},
      {"/tmp/cfg", nullptr, "/tmp/cfg/murex/murex.ini"},
      {"/tmp/cfg/././/", nullptr, "/tmp/cfg/murex/murex.ini"},
      {"/tmp/cfg/..", nullptr, "/tmp/cfg/../murex/murex.ini"},
      {"/", nullptr, "/murex/murex.ini"},
      {".", nullptr, "./murex/murex.ini"},
      {"", "/home/user", "murex/murex.ini"},
      {nullptr, "/home/user", "/home/user/.config/murex/murex.ini"},
      {nullptr, "/home/user/", "/home/user/.config/murex/murex.ini"},
      {nullptr, "/", "/.config/murex/murex.ini"},
      {nullptr, "", ".config/murex/murex.ini"},
      {nullptr, nullptr, ".config/murex/murex.ini"},
  };
  for (const Case& c : cases) {
    c.xdg ? ::setenv("XDG_CONFIG_HOME", c.xdg, 1) : ::unsetenv("XDG_CONFIG_HOME");
    c.home ? ::setenv("HOME", c.home, 1) : ::unsetenv("HOME");
    EXPECT_EQ(configFile(), c.want) << (c.xdg ? c.xdg : "-") << " " << (c.home ? c.home : "-");
  }
  ::unsetenv("XDG_CONFIG_HOME");
}

TEST(NumFmtVerify, WantsDigitPositionsMarksAndTwoDecimals) {
  const std::pair<std::string_view, bool> cases[] = {
      {"###,###,###,###.##", true},
      {"#,##,###.##", true},
      {"###'###.##", true},
      {"###_###.##", true},
      {"###.###,##", true},
      {"#.##", true},
      {".##", false},
      {"###,###", false},
      {"#.#", false},
      {"###.###.##", false},
      {"### ###.##", false},
      {"###,###.###", false},
      {"#x.##", false},
      {"", false},
      {"####", false},
  };
  for (const auto& [pattern, want] : cases) EXPECT_EQ(numFmtVerify(pattern), want) << pattern;
}

TEST_F(ConfigFile, MissingFileGivesDefaults) { expectDefaults(configFileLoad()); }

TEST_F(ConfigFile, FolderInPlaceOfTheFileGivesDefaults) {
  ::mkdir((dir + "/murex").c_str(), 0700);
  ::mkdir(path.c_str(), 0700);
  expectDefaults(configFileLoad());
}

// Neither a FIFO nor a device is waited on or read: the run stops at once, with the words
// the ledger's loader uses.
TEST_F(ConfigFile, RefusesWhatIsNotARegularFile) {
  ::mkdir((dir + "/murex").c_str(), 0700);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(loadError(), "Not a regular file: '" + path + "'");
  std::remove(path.c_str());
  ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0);
  EXPECT_EQ(loadError(), "Not a regular file: '" + path + "'");
}

TEST_F(ConfigFile, CommentsAndBlankLinesGiveDefaults) {
  write("; comment\n\n   \n\t\r\n;[outFormat]\n");
  expectDefaults(configFileLoad());
}

TEST_F(ConfigFile, ReadsEverySetting) {
  write(
      "[inFormat]\r\ndate = d.m.y\r\ndecimalSep   =   comma   \r\n[outFormat]\n"
      "date =D/M/Y\n number=#.##\n[inFormat]\n date=m/d/Y");
  const Config c = configFileLoad();
  EXPECT_TRUE(c.decimalComma);
  EXPECT_EQ(c.inDate, "m/d/Y");
  EXPECT_EQ(c.outDate, "D/M/Y");
  EXPECT_EQ(c.number, "#.##");
}

TEST_F(ConfigFile, IgnoresSettingsBeforeAnySection) {
  write("number = ###,###.##\nnonsense = whatever\n[outFormat]\n");
  expectDefaults(configFileLoad());
  write("[outFormat]\nnumber = ###,###.##\n");
  EXPECT_EQ(configFileLoad().number, "###,###.##");
}

TEST_F(ConfigFile, RefusesWrongLinesWithTheirNumber) {
  const std::pair<std::string_view, int> cases[] = {
      {"  [inFormat]\n", 1},
      {"[InFormat]\n", 1},
      {"[inFormat]\ndecimalSep = Comma\n", 2},
      {"[inFormat]\ndecimalSep = ,\n", 2},
      {"[inFormat]\n\n; c\ndate = dd.mm.yyyy\n", 4},
      {"[outFormat]\nnumber = ###,###\n", 2},
      {"[inFormat]\ndate=y-m-d\n", 2},
      {"[inFormat]\ndate = y-m-d ; ISO\n", 2},
      {"[inFormat]\nnumber = #.##\n", 2},
      {"[outFormat]\ndecimalSep = dot\n", 2},
      {"[outFormat]\ncolour = red\n", 2},
      {"[outFormat]\nno equals sign\n", 2},
      {"[inFormat]\ndate = y-m-d\n[other]\n", 3},
  };
  for (const auto& [text, line] : cases) {
    write(text);
    EXPECT_EQ(loadError(), "Error in " + path + " [" + std::to_string(line) + "]: line wrong")
        << text;
  }
}

TEST_F(ConfigFile, AcceptsEqualsSignFromIndexFive) {
  write("[inFormat]\ndate =y-m-d\n date=d.m.y\n");
  EXPECT_EQ(configFileLoad().inDate, "d.m.y");
}
