// json: text written as JSON strings, and the one rule for bytes that are not UTF-8: each
// becomes U+FFFD, wherever the program writes text for another program to read.
#pragma once

#include <string>
#include <string_view>

namespace murex {

// s with every byte that is not part of a UTF-8 sequence (unicode's decodeUtf8: a stray or
// cut sequence, an overlong form, a surrogate, a code point beyond Unicode) replaced by
// U+FFFD.
void appendWellFormed(std::string& out, std::string_view s);

// s quoted: '"' and '\' escaped, control characters as \u00XX, well-formed as above.
void appendJsonString(std::string& out, std::string_view s);
std::string jsonString(std::string_view s);

}  // namespace murex
