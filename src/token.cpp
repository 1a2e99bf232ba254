#include "token.h"

#include <cassert>
#include <string>
#include <string_view>

namespace murex {

std::string_view tokenTypeName(TokenType type) {
  switch (type) {
    case TokenType::NewLine:
      return "NewLine";
    case TokenType::CommentStart:
      return "CommentStart";
    case TokenType::Comment:
      return "Comment";
    case TokenType::Str:
      return "Str";
    case TokenType::Indent:
      return "Indent";
    case TokenType::End:
      return "End";
    case TokenType::Datum:
      return "Datum";
    case TokenType::Description:
      return "Description";
    case TokenType::Account:
      return "Account";
    case TokenType::Amount:
      return "Amount";
    case TokenType::Tag:
      return "Tag";
    default:
      return "Unset";
  }
}

std::string tokenText(std::string_view text, const Token& tok, bool withSpaces) {
  assert(tok.pos >= 0 && tok.spaces <= tok.len && tok.pos + tok.len <= std::ssize(text));
  const int64_t skip = withSpaces ? 0 : tok.spaces;
  return showFormFeeds(text.substr(tok.pos + skip, tok.len - skip));
}

std::string showFormFeeds(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 8);
  for (char c : s) {
    if (c == formFeed) {
      out += ";;";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace murex
