// html: text made safe to stand in an HTML page. Knows nothing of ledgers.
#pragma once

#include <string>
#include <string_view>

namespace murex {

// HTML text: "<" and ">" become entities; with quotes also '"' (for attribute values).
std::string escapeHtml(std::string_view text, bool quotes = false);

}  // namespace murex
