// encoding: a statement's bytes as UTF-8 text, read as UTF-8 (checked) or as Windows-1252,
// the code page of most European banks' exports; its line ends made one line feed.
#pragma once

#include <string>
#include <string_view>

namespace murex {

enum class Encoding { Utf8, Latin1 };

// The text without a byte order mark, "\r\n" and a lone "\r" made "\n". Raises the framed
// report (file name, line) of a byte that is not UTF-8, with advice in parentheses after it,
// or of a byte order mark in a file the rules call latin1.
std::string decodeStatement(std::string_view bytes, Encoding encoding, std::string_view fileName,
                            std::string_view advice);

}  // namespace murex
