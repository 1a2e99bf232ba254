// response: an answer written as bytes: status line, header lines, body.
#pragma once

#include <string>
#include <string_view>

#include "http/headers.h"

namespace murex::http {

// "200 OK", "404 Not Found", ...: the code and its registered reason phrase.
std::string statusText(int status);
// Appends the status line, the headers ("name: value"), then those of common whose keys
// headers lacks, "Content-Length" unless present, an empty line and the body; without
// withBody (the answer to HEAD) the same head, the body left out.
void appendResponse(std::string& out, int status, std::string_view body, const Headers& headers,
                    const Headers& common = {}, bool withBody = true);
// Puts the header lines of common after the status line of answer, a response as bytes.
std::string withHeaders(std::string_view answer, const Headers& common);
// The answer of a protocol error: the status text as body.
std::string shortError(int status);
// The whole answer with body as it is and no headers but its length.
std::string plainResponse(int status, std::string_view body);
// The status line and an empty line: an interim answer, or one without even a length.
std::string bareStatus(int status);

}  // namespace murex::http
