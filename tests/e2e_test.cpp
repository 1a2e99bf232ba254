// End-to-end cases: each tests/e2e/cases/<name>.case runs the built murex binary in a fresh
// folder and compares its whole standard output, standard error and exit status.
// The format is described in tests/e2e/README.md.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int timeoutSeconds = 20;

struct Case {
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::optional<std::string>>> env;  // nullopt: unset
  std::vector<std::pair<std::string, std::string>> files;               // name, content
  std::optional<std::string> murexIni;
  std::string wantStdout;
  std::string wantStderr;
  int wantStatus = 0;
};

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// Splits at blanks; 'single quotes' keep blanks inside one word, and '' is the empty word.
std::vector<std::string> splitWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (char c : line) {
    if (c == '\'') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  if (quoted) throw std::runtime_error("unclosed quote in: " + std::string(line));
  if (inWord) words.push_back(word);
  return words;
}

// A section's lines, each with its line feed; {CR} is a carriage return, and a last line
// {NOEOL} takes away the line feed before it.
std::string sectionText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  if (!lines.empty() && lines.back() == "{NOEOL}") {
    text.resize(text.size() - std::string_view("{NOEOL}\n").size());
    if (!text.empty()) text.pop_back();
  }
  replaceAll(text, "{CR}", "\r");
  return text;
}

bool safeFileName(std::string_view name) {
  if (name.empty() || name.front() == '/') return false;
  for (size_t at = 0; at <= name.size();) {
    size_t end = name.find('/', at);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(at, end - at);
    if (part.empty() || part == "." || part == "..") return false;
    at = end + 1;
  }
  return true;
}

Case readCase(const std::string& path, const std::string& tmp) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  Case c;
  std::string line;
  std::string section;  // empty: still in the head lines
  std::vector<std::string> lines;
  bool haveArgs = false;
  auto finishSection = [&] {
    if (section.empty()) return;
    std::string text = sectionText(lines);
    if (section == "stdout" || section == "stderr") {
      replaceAll(text, "{TMP}", tmp);
      (section == "stdout" ? c.wantStdout : c.wantStderr) = text;
    } else if (section == "status") {
      c.wantStatus = std::stoi(text);
    } else if (section == "murex.ini") {
      c.murexIni = text;
    } else if (safeFileName(section)) {
      c.files.emplace_back(section, text);
    } else {
      throw std::runtime_error("bad section name: " + section);
    }
    lines.clear();
  };
  while (std::getline(in, line)) {
    if (line.rfind("=== ", 0) == 0) {
      finishSection();
      section = line.substr(4);
      if (section.empty()) throw std::runtime_error("section without a name");
    } else if (!section.empty()) {
      lines.push_back(line);
    } else if (line.rfind("args:", 0) == 0) {
      std::string words = line.substr(5);
      replaceAll(words, "{TMP}", tmp);
      c.args = splitWords(words);
      haveArgs = true;
    } else if (line.rfind("env:", 0) == 0) {
      for (const std::string& word : splitWords(line.substr(4))) {
        const size_t eq = word.find('=');
        if (eq == std::string::npos || eq == 0)
          throw std::runtime_error("env word is not NAME=value: " + word);
        std::string value = word.substr(eq + 1);
        replaceAll(value, "{TMP}", tmp);
        c.env.emplace_back(word.substr(0, eq),
                           value == "-" ? std::nullopt : std::optional<std::string>(value));
      }
    } else if (!line.empty() && line[0] != '#') {
      throw std::runtime_error("unexpected head line: " + line);
    }
  }
  finishSection();
  if (!haveArgs) throw std::runtime_error("no args: line");
  return c;
}

void writeFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;
  std::string failure;  // timed out, killed by a signal, could not start
};

// Where a stream goes when it is not captured (for example /dev/full).
struct Redirect {
  const char* stdoutPath = nullptr;
  const char* stderrPath = nullptr;
  rlim_t addressSpace = 0;  // bytes of memory the program may map; 0: no limit
};

RunResult runProgram(const std::vector<std::string>& args,
                     const std::vector<std::pair<std::string, std::optional<std::string>>>& env,
                     const std::string& workDir, Redirect redirect = {}) {
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry = *e;
    const std::string_view name = entry.substr(0, entry.find('='));
    const bool overridden =
        std::any_of(env.begin(), env.end(), [&](const auto& kv) { return kv.first == name; });
    if (!overridden) envStrings.emplace_back(entry);
  }
  for (const auto& [name, value] : env) {
    if (value) envStrings.push_back(name + "=" + *value);
  }
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string binary = MUREX_BINARY;
  std::vector<std::string> argStrings = args;
  std::vector<char*> argv{binary.data()};
  for (std::string& s : argStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  RunResult r;
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    r.failure = "pipe failed";
    return r;
  }
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int outTarget =
      redirect.stdoutPath ? open(redirect.stdoutPath, O_WRONLY | O_CLOEXEC) : outPipe[1];
  const int errTarget =
      redirect.stderrPath ? open(redirect.stderrPath, O_WRONLY | O_CLOEXEC) : errPipe[1];
  const rlimit memoryLimit{redirect.addressSpace, redirect.addressSpace};
  const pid_t pid = fork();
  if (pid == 0) {
    if (redirect.addressSpace != 0 && setrlimit(RLIMIT_AS, &memoryLimit) != 0) _exit(127);
    if (dup2(devNull, 0) < 0 || dup2(outTarget, 1) < 0 || dup2(errTarget, 2) < 0 ||
        chdir(workDir.c_str()) != 0)
      _exit(127);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(devNull);
  if (redirect.stdoutPath) close(outTarget);
  if (redirect.stderrPath) close(errTarget);
  close(outPipe[1]);
  close(errPipe[1]);
  if (pid < 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    r.failure = "fork failed";
    return r;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.out, &r.err};
  int openCount = 2;
  bool timedOut = false;
  while (openCount > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    const int ready = poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      char buf[65536];
      const ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got > 0) {
        sinks[i]->append(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --openCount;
      }
    }
  }
  for (pollfd& p : fds) {
    if (p.fd >= 0) close(p.fd);
  }
  if (timedOut) kill(pid, SIGKILL);
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (timedOut) {
    r.failure = "timed out after " + std::to_string(timeoutSeconds) + " s";
  } else if (WIFEXITED(wstatus)) {
    r.status = WEXITSTATUS(wstatus);
    if (r.status == 127 && r.out.empty() && r.err.empty()) r.failure = "could not start";
  } else if (WIFSIGNALED(wstatus)) {
    r.failure = std::string("killed by signal ") + strsignal(WTERMSIG(wstatus));
  }
  return r;
}

// A fresh folder with empty home and config folders, removed again at the end.
struct TempDir {
  std::string path;
  TempDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/murex-e2e-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
    fs::create_directories(path + "/home");
    fs::create_directories(path + "/config");
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

// Where the program will look for murex.ini, so that the section lands there even when
// the case changes the two variables.
fs::path murexIniPath(const Case& c, const std::string& tmp) {
  std::optional<std::string> xdg = tmp + "/config";
  std::optional<std::string> home = tmp + "/home";
  for (const auto& [name, value] : c.env) {
    if (name == "XDG_CONFIG_HOME") xdg = value;
    if (name == "HOME") home = value;
  }
  fs::path dir = xdg ? fs::path(*xdg) : fs::path(home.value_or("")) / ".config";
  if (dir.empty()) dir = ".";
  if (dir.is_relative()) dir = fs::path(tmp) / dir;
  return dir / "murex" / "murex.ini";
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    replaceAll(line, "\r", "{CR}");
    if (end == std::string::npos) {
      lines.push_back(line + "{NOEOL}");
      break;
    }
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

// A line diff in the case file's own notation: "-" expected only, "+" produced only.
std::string lineDiff(const std::string& want, const std::string& got) {
  const std::vector<std::string> a = splitLines(want);
  const std::vector<std::string> b = splitLines(got);
  const size_t n = a.size();
  const size_t m = b.size();
  if (n * m > 4'000'000) return "(outputs too long for a diff)";
  // lcs[i][j]: common lines of a[i..] and b[j..].
  std::vector<std::vector<int>> lcs(n + 1, std::vector<int>(m + 1, 0));
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;)
      lcs[i][j] = a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
  }
  std::vector<std::string> ops;  // each line with its mark
  size_t i = 0;
  size_t j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[i] == b[j]) {
      ops.push_back("  " + a[i++]);
      ++j;
    } else if (i < n && (j == m || lcs[i + 1][j] >= lcs[i][j + 1])) {
      ops.push_back("- " + a[i++]);
    } else {
      ops.push_back("+ " + b[j++]);
    }
  }
  // Two lines of context around each change.
  std::string out;
  bool skipped = false;
  for (size_t k = 0; k < ops.size(); ++k) {
    bool near = false;
    for (size_t d = k < 2 ? 0 : k - 2; d < std::min(ops.size(), k + 3); ++d)
      near = near || ops[d][0] != ' ';
    if (near) {
      if (skipped) out += "  ...\n";
      out += ops[k] + "\n";
      skipped = false;
    } else {
      skipped = true;
    }
  }
  if (skipped) out += "  ...\n";
  return out;
}

void expectSame(const std::string& want, const std::string& got, const std::string& what) {
  EXPECT_TRUE(want == got) << what << " differs (- expected, + produced):\n" << lineDiff(want, got);
}

std::vector<std::string> caseFiles() {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(MUREX_CASES_DIR)) {
    if (e.path().extension() == ".case") names.push_back(e.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string testName(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& ch : name) {
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
}

class E2e : public testing::TestWithParam<std::string> {};

TEST_P(E2e, Case) {
  TempDir tmp;
  const std::string file = std::string(MUREX_CASES_DIR) + "/" + GetParam() + ".case";
  const Case c = readCase(file, tmp.path);
  for (const auto& [name, content] : c.files) writeFile(fs::path(tmp.path) / name, content);
  if (c.murexIni) writeFile(murexIniPath(c, tmp.path), *c.murexIni);
  std::vector<std::pair<std::string, std::optional<std::string>>> env = {
      {"HOME", tmp.path + "/home"}, {"XDG_CONFIG_HOME", tmp.path + "/config"}};
  for (const auto& kv : c.env) {
    auto same =
        std::find_if(env.begin(), env.end(), [&](const auto& e) { return e.first == kv.first; });
    if (same != env.end()) {
      same->second = kv.second;
    } else {
      env.push_back(kv);
    }
  }
  const RunResult r = runProgram(c.args, env, tmp.path);
  ASSERT_EQ(r.failure, "") << "stdout:\n" << r.out << "\nstderr:\n" << r.err;
  expectSame(c.wantStdout, r.out, "standard output of " + file);
  expectSame(c.wantStderr, r.err, "standard error of " + file);
  EXPECT_EQ(c.wantStatus, r.status) << "exit status of " << file;
}

INSTANTIATE_TEST_SUITE_P(Cases, E2e, testing::ValuesIn(caseFiles()), testName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(E2e);

TEST(SplitWords, KeepsQuotedBlanksAndTheEmptyWord) {
  const std::pair<std::string_view, std::vector<std::string>> cases[] = {
      {" ledger  acc\t-p Q1 ", {"ledger", "acc", "-p", "Q1"}},
      {"ledger acc 'Bank account'", {"ledger", "acc", "Bank account"}},
      {"'' ledger", {"", "ledger"}},
      {"a'b c'd", {"ab cd"}},
      {"", {}},
  };
  for (const auto& [line, want] : cases) EXPECT_EQ(splitWords(line), want) << line;
}

TEST(SectionText, ReadsCarriageReturnsAndTheMissingLastLineFeed) {
  EXPECT_EQ(sectionText({"a{CR}", "b"}), "a\r\nb\n");
  EXPECT_EQ(sectionText({"a", "b", "{NOEOL}"}), "a\nb");
  EXPECT_EQ(sectionText({"{NOEOL}"}), "");
  EXPECT_EQ(sectionText({}), "");
}

// A write that fails must not end in success: with its output stream full, even the
// version text answers with status 1.
TEST(Output, LostVersionTextFailsTheRun) {
  TempDir tmp;
  const RunResult r =
      runProgram({"-v"}, {{"HOME", tmp.path + "/home"}, {"XDG_CONFIG_HOME", tmp.path + "/config"}},
                 tmp.path, {.stderrPath = "/dev/full"});
  ASSERT_EQ(r.failure, "");
  EXPECT_EQ(r.status, 1);
}

TEST(Output, LostReportIsAnError) {
  TempDir tmp;
  writeFile(fs::path(tmp.path) / "ledger", "2021-01-01 Opening\n  Cash 5 ; @A\n  Capital ; @C\n");
  const RunResult r =
      runProgram({"ledger", "acc", "-p", "2021Y"},
                 {{"HOME", tmp.path + "/home"}, {"XDG_CONFIG_HOME", tmp.path + "/config"}},
                 tmp.path, {.stdoutPath = "/dev/full"});
  ASSERT_EQ(r.failure, "");
  EXPECT_EQ(r.err,
            "Error: unhandled exception: Cannot write the output: No space left on device "
            "[OSError]\n");
  EXPECT_EQ(r.status, 1);
}

// Memory running out is reported like any error, not as a crash.
TEST(Output, OutOfMemoryIsAnErrorLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#else
  TempDir tmp;
  // Lists sized for 64 MiB of split lines do not fit (one line that long is refused first).
  std::string lines;
  for (int i = 0; i < (16 << 20); ++i) lines += "  x\n";
  writeFile(fs::path(tmp.path) / "ledger", lines);
  const RunResult r = runProgram(
      {"ledger", "acc"}, {{"HOME", tmp.path + "/home"}, {"XDG_CONFIG_HOME", tmp.path + "/config"}},
      tmp.path, {.addressSpace = 96 << 20});
  ASSERT_EQ(r.failure, "");
  EXPECT_EQ(r.err, "Error: unhandled exception: Out of memory [MemoryError]\n");
  EXPECT_EQ(r.status, 1);
#endif
}

}  // namespace
