#include "html.h"

namespace murex {

std::string escapeHtml(std::string_view text, bool quotes) {
  std::string out;
  out.reserve(text.size() + 16);
  for (const char c : text) {
    if (c == '<')
      out.append("&lt;");
    else if (c == '>')
      out.append("&gt;");
    else if (c == '"' && quotes)
      out.append("&quot;");
    else
      out.push_back(c);
  }
  return out;
}

}  // namespace murex
