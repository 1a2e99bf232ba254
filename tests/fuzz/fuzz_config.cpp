// Fuzz target for the settings loader: arbitrary bytes as murex.ini in a private
// XDG_CONFIG_HOME. A load either gives settings that pass their own checks and load back the
// same when written out again, or raises exactly the line-wrong message with a line number
// inside the file. Anything else, or a sanitizer report, is a finding. fuzz-max-len: 1024
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config.h"
#include "datum.h"
#include "fuzz_support.h"
#include "digits.h"

using namespace murex;

namespace {

std::string folder;
std::string iniPath;

void writeIni(std::string_view bytes) {
  FILE* f = std::fopen(iniPath.c_str(), "wb");
  check(f != nullptr);
  check(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
  check(std::fclose(f) == 0);
}

int64_t countLines(std::string_view s) {
  int64_t n = 0;
  for (const char c : s) n += c == '\n';
  return n + (!s.empty() && s.back() != '\n');
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Memory-backed, so that one file write per input stays cheap.
  char dir[] = "/dev/shm/murex-fuzz-config-XXXXXX";
  check(::mkdtemp(dir) != nullptr);
  check(::setenv("XDG_CONFIG_HOME", dir, 1) == 0);
  check(::mkdir((std::string(dir) + "/murex").c_str(), 0700) == 0);
  folder = dir;
  iniPath = configFile();
  check(iniPath == folder + "/murex/murex.ini");
  std::atexit([] {
    std::remove(iniPath.c_str());
    ::rmdir((folder + "/murex").c_str());
    ::rmdir(folder.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  writeIni(bytes);
  Config cfg;
  try {
    cfg = configFileLoad();
  } catch (const Error& e) {
    check(e.kind == ErrorKind::Value);
    const std::string head = "Error in " + iniPath + " [";
    const std::string_view m = e.message;
    check(m.starts_with(head) && m.ends_with("]: line wrong"));
    const std::string_view number = m.substr(head.size(), m.size() - head.size() - 13);
    const auto [value, length] = toBigInt(number, 0);
    check(length == std::ssize(number) && value >= 1 && value <= countLines(bytes));
    return 0;
  }
  check(numFmtVerify(cfg.number) && dateFmtVerify(cfg.inDate) && dateFmtVerify(cfg.outDate));
  // The loaded settings, written out as a file of their own, load back the same.
  writeIni("[inFormat]\ndate = " + cfg.inDate +
           "\ndecimalSep = " + (cfg.decimalComma ? "comma" : "dot") +
           "\n[outFormat]\ndate = " + cfg.outDate + "\nnumber = " + cfg.number + "\n");
  const Config again = configFileLoad();
  check(again.decimalComma == cfg.decimalComma && again.number == cfg.number &&
        again.inDate == cfg.inDate && again.outDate == cfg.outDate);
  return 0;
}
