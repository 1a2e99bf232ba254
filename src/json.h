// json: text written as JSON strings, and the one rule for bytes that are not UTF-8: each
// becomes U+FFFD, wherever the program writes text for another program to read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace murex {

// The length of the UTF-8 sequence at i in s, or 0 when the bytes there are not one
// (a stray or cut sequence, an overlong form, a surrogate, a code point beyond Unicode).
size_t utf8Length(std::string_view s, size_t i);

// s with every byte that is not part of a UTF-8 sequence replaced by U+FFFD.
void appendWellFormed(std::string& out, std::string_view s);

// s quoted: '"' and '\' escaped, control characters as \u00XX, well-formed as above.
void appendJsonString(std::string& out, std::string_view s);
std::string jsonString(std::string_view s);

}  // namespace murex
