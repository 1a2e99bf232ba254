#include "error.h"

#include <cstdint>

namespace murex {

std::string_view errorKindName(ErrorKind kind) {
  // In the order of ErrorKind.
  static constexpr std::string_view names[] = {"ValueError", "IOError", "OSError",
                                               "OverflowError", "ZeroDivisionError"};
  return names[static_cast<size_t>(kind)];
}

void raiseValue(std::string_view pattern, std::initializer_list<std::string_view> args) {
  throw Error(ErrorKind::Value, fillNumbered(pattern, args));
}

void raiseError(ErrorKind kind, std::string message) { throw Error(kind, std::move(message)); }

void raiseOverflow() { throw Error(ErrorKind::Overflow, "Arithmetic overflow"); }

std::string unhandledText(const Error& e) {
  const std::string_view prefix = "Error: unhandled exception: ";
  const std::string_view kind = errorKindName(e.kind);
  std::string out;
  out.reserve(prefix.size() + e.message.size() + kind.size() + 4);
  out.append(prefix).append(e.message).append(" [").append(kind).append("]\n");
  return out;
}

std::string fillNumbered(std::string_view pattern, std::initializer_list<std::string_view> args) {
  const int64_t n = std::ssize(pattern);
  const int64_t argCount = std::ssize(args);
  std::string out;
  out.reserve(pattern.size() + 16);
  for (int64_t i = 0; i < n; ++i) {
    if (pattern[i] == '$' && i + 1 < n && pattern[i + 1] >= '1' && pattern[i + 1] <= '9' &&
        pattern[i + 1] - '0' <= argCount) {
      out.append(args.begin()[pattern[i + 1] - '1']);
      ++i;
    } else {
      out.push_back(pattern[i]);
    }
  }
  return out;
}

}  // namespace murex
