#include "config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "datum.h"
#include "error.h"

namespace murex {

std::string configFile() {
  std::string dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME")) {
    dir = xdg;
  } else {
    const char* home = std::getenv("HOME");
    dir = home == nullptr ? "" : home;
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    dir.append(".config");
  }
  if (!dir.empty()) {
    while (true) {
      if (!dir.empty() && dir.back() == '/') {
        dir.pop_back();
      } else if (dir.size() >= 2 && dir.ends_with("/.")) {
        dir.resize(dir.size() - 2);
      } else {
        break;
      }
    }
    dir.push_back('/');
  }
  return dir + "murex/murex.ini";
}

bool numFmtVerify(std::string_view pattern) {
  const size_t n = pattern.size();
  if (n < 4 || !pattern.ends_with("##")) return false;
  const char sep = pattern[n - 3];
  if (sep != '.' && sep != ',') return false;
  size_t sepCount = 0;
  for (const char c : pattern) {
    if (c != '#' && c != '_' && c != ',' && c != '.' && c != '\'') return false;
    if (c == sep) ++sepCount;
  }
  return sepCount == 1;
}

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trimRight(std::string_view s) {
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view trim(std::string_view s) {
  s = trimRight(s);
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  return s;
}

enum class Section { None, In, Out };

// Applies one setting line; false when the line is wrong.
bool applySetting(Config& cfg, Section section, std::string_view line) {
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos || eq < 5) return false;
  const std::string_view key = trim(line.substr(0, eq));
  const std::string_view value = trim(line.substr(eq + 1));
  switch (section) {
    case Section::None:
      return true;
    case Section::In:
      if (key == "date" && dateFmtVerify(value)) {
        cfg.inDate = value;
      } else if (key == "decimalSep" && (value == "dot" || value == "comma")) {
        cfg.decimalComma = value == "comma";
      } else {
        return false;
      }
      return true;
    case Section::Out:
      if (key == "date" && dateFmtVerify(value)) {
        cfg.outDate = value;
      } else if (key == "number" && numFmtVerify(value)) {
        cfg.number = value;
      } else {
        return false;
      }
      return true;
  }
  return false;
}

// Opens the settings file for reading, or gives nullptr; a folder counts as not there.
// Anything else that is not a regular file (a FIFO that would wait for a writer, a device
// that never ends) is refused, as the ledger's loader refuses it; opening does not wait.
FILE* openSettings(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    raiseValue("Not a regular file: '$1'", {path});
  }
  FILE* f = ::fdopen(fd, "r");
  if (f == nullptr) ::close(fd);
  return f;
}

}  // namespace

Config configFileLoad() {
  Config cfg;
  const std::string path = configFile();
  FILE* f = openSettings(path);
  if (f == nullptr) return cfg;
  Section section = Section::None;
  char* buf = nullptr;
  size_t cap = 0;
  int64_t lineNo = 0;
  bool wrong = false;
  ssize_t len = 0;
  while ((len = ::getline(&buf, &cap, f)) >= 0) {
    ++lineNo;
    const std::string_view line = trimRight(std::string_view(buf, static_cast<size_t>(len)));
    if (line.empty() || line[0] == ';') continue;
    if (line == "[inFormat]") {
      section = Section::In;
    } else if (line == "[outFormat]") {
      section = Section::Out;
    } else if (!applySetting(cfg, section, line)) {
      wrong = true;
      break;
    }
  }
  std::free(buf);
  std::fclose(f);
  if (wrong) raiseValue("Error in $1 [$2]: line wrong", {path, std::to_string(lineNo)});
  return cfg;
}

}  // namespace murex
