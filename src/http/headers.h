// headers: the header table of a request or a response, and the rules of header values
// (names without regard to case, lists separated by commas, blanks trimmed).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace murex::http {

// Header table: keys in lower case, each with its value as received, blanks around it
// trimmed; kept in insertion order. A value is a list separated by commas ("cookie" is one
// piece), split only where it is read, so that a list costs no more than its bytes.
struct Headers {
  std::vector<std::pair<std::string, std::string>> entries;
  // The value of key (any case) as received, or nullptr.
  const std::string* find(std::string_view key) const;
  // The value of key split at commas, each part trimmed; empty when key is missing or empty.
  std::vector<std::string_view> values(std::string_view key) const;
  // Replaces the value of key (stored lower-case).
  void set(std::string_view key, std::string value);
  // True when one of the values of key equals word without regard to case.
  bool hasValue(std::string_view key, std::string_view word) const;
};

std::string lowerCopy(std::string_view s);                  // ASCII letters only
bool equalsFolded(std::string_view a, std::string_view b);  // ASCII case ignored
std::string_view trimBlanks(std::string_view s);            // blanks and tabs at both ends

// Calls part with each comma-separated part of value, trimmed, until it answers true.
template <typename Part>
bool anyPart(std::string_view value, Part part) {
  size_t start = 0;
  while (true) {
    const size_t comma = value.find(',', start);
    const std::string_view piece =
        value.substr(start, comma == std::string_view::npos ? comma : comma - start);
    if (part(trimBlanks(piece))) return true;
    if (comma == std::string_view::npos) return false;
    start = comma + 1;
  }
}

}  // namespace murex::http
