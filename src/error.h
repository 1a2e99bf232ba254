// error: the program's one exception type, with its kind and the exact message the user
// reads, and the numbered templates those messages are filled from.
#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace murex {

// Printed as ValueError, IOError, OSError, OverflowError, ZeroDivisionError.
enum class ErrorKind { Value, IO, OS, Overflow, ZeroDivision };
std::string_view errorKindName(ErrorKind kind);

// The program's only exception: a kind and the exact text the user will read.
struct Error : std::exception {
  ErrorKind kind;
  std::string message;
  Error(ErrorKind k, std::string m) : kind(k), message(std::move(m)) {}
  const char* what() const noexcept override { return message.c_str(); }
};

// Throws a ValueError whose message is pattern with $1, $2, ... filled in.
[[noreturn]] void raiseValue(std::string_view pattern,
                             std::initializer_list<std::string_view> args = {});
[[noreturn]] void raiseError(ErrorKind kind, std::string message);
// "Arithmetic overflow", kind Overflow: what every checked sum or product raises.
[[noreturn]] void raiseOverflow();

// The top-level report of an error that nobody handled, with its line end:
// "Error: unhandled exception: <message> [<kind>]\n".
std::string unhandledText(const Error& e);

// Fills $1..$9 from args; a "$" not followed by a used digit stays as it is.
std::string fillNumbered(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace murex
