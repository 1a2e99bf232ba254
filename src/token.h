// token: the ledger text's tokens. Which bytes are blanks and which end a word, the masks
// that find them many bytes at a time, the raw scanner (blanks, semicolons, line ends,
// words), and the classifier that gives a word its meaning from the token before it.
#pragma once

#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace murex {

enum class TokenType : uint8_t {
  Unset, NewLine, CommentStart, Comment, Str, Indent, End,
  Datum, Description, Account, Amount, Tag,
};
std::string_view tokenTypeName(TokenType type);  // "Unset" outside the table

struct Token {
  TokenType tokType = TokenType::Unset;
  int64_t len = 0;     // characters covered, leading blanks included
  int64_t spaces = 0;  // blanks (space or tab) at the start
  int64_t pos = 0;     // where the leading blanks begin
};

inline constexpr char formFeed = '\f';  // a ";;" of the file, after loading

// A blank is a space or a tab; a word ends at a blank, a line end or a semicolon.
constexpr bool isBlank(char c) { return c == ' ' || c == '\t'; }
constexpr bool endsWord(char c) { return isBlank(c) || c == '\n' || c == ';'; }

// Where a text's blanks are and where its words end, one bit per byte: the parse finds a
// word's end by a count of zero bits instead of a look at each byte. Past the text no byte
// is blank and every byte ends a word, so no search runs beyond it.
class WordMasks {
 public:
  // The masks of text; returns whether it holds a form feed.
  bool build(std::string_view text);
  // The first position from i on that is not a blank; i at most the text's size.
  int64_t blanks(int64_t i) const {
    return firstSet(i, [this](size_t w) { return ~blank[w]; });
  }
  // The first position from i on that ends a word.
  int64_t word(int64_t i) const {
    return firstSet(i, [this](size_t w) { return stop[w]; });
  }
  // The end of the last word from i on before the next semicolon or line end (i when there
  // is none): a run of words with the blanks between them.
  int64_t run(std::string_view text, int64_t i) const {
    int64_t end = firstSet(i, [this](size_t w) { return stop[w] & ~blank[w]; });
    while (end > i && isBlank(text[end - 1])) --end;
    return end;
  }

 private:
  template <typename Bits>
  static int64_t firstSet(int64_t i, const Bits& bits) {
    size_t w = size_t(i) >> 6;
    uint64_t x = bits(w) & (~uint64_t(0) << (i & 63));
    while (x == 0) x = bits(++w);
    return int64_t(w * 64 + size_t(__builtin_ctzll(x)));
  }
  std::vector<uint64_t> blank;
  std::vector<uint64_t> stop;
};

// Blanks and word ends found byte by byte: for short texts, where masks cost more.
struct TextSkips {
  std::string_view text;
  int64_t blanks(int64_t i) const {
    while (i < std::ssize(text) && isBlank(text[i])) ++i;
    return i;
  }
  int64_t word(int64_t i) const {
    while (i < std::ssize(text) && !endsWord(text[i])) ++i;
    return i;
  }
};

// The raw scanner: NewLine, CommentStart, Str or End from start (<= the text's size), with
// skips (WordMasks or TextSkips) finding the ends of blanks and words. Reads the text in
// place and allocates nothing: it runs once per token of the ledger.
template <typename Skips>
inline Token scanToken(std::string_view text, int64_t start, const Skips& skips) {
  const int64_t n = std::ssize(text);
  assert(start >= 0 && start <= n);
  int64_t i = skips.blanks(start);
  Token tok{.tokType = TokenType::Str, .len = 0, .spaces = i - start, .pos = start};
  if (i == n) {
    tok.tokType = TokenType::End;
  } else if (text[i] == ';' || text[i] == '\n') {
    tok.tokType = text[i] == ';' ? TokenType::CommentStart : TokenType::NewLine;
    ++i;
  } else {
    i = skips.word(i);
  }
  tok.len = i - start;
  return tok;
}

inline Token nextToken(std::string_view text, int64_t start) {
  return scanToken(text, start, TextSkips{.text = text});
}

// Tags exist only up to the second column-0 word: in the header and the opening
// transaction; later an "@" word is ordinary comment text.
constexpr bool tagsAllowed(int64_t datumCount) { return datumCount < 2; }

// The meaning of a Str token from the token before it; Str when it has none (a word after
// the amount). Counts column-0 words in datumCount.
inline TokenType classify(std::string_view text, const Token& tok, TokenType prevType,
                          int64_t& datumCount) {
  switch (prevType) {
    case TokenType::NewLine:
      if (tok.spaces > 0) return TokenType::Account;
      ++datumCount;
      return TokenType::Datum;
    case TokenType::CommentStart:
    case TokenType::Comment:
    case TokenType::Tag:
      return tagsAllowed(datumCount) && tok.spaces < tok.len && text[tok.pos + tok.spaces] == '@'
                 ? TokenType::Tag
                 : TokenType::Comment;
    case TokenType::Datum:
    case TokenType::Description:
      return TokenType::Description;
    case TokenType::Account:
      return TokenType::Amount;
    default:
      return TokenType::Str;
  }
}

// The text as the user wrote it: each form feed shown as ";;".
std::string showFormFeeds(std::string_view s);
// The token's text, form feeds shown as ";;"; withSpaces keeps the leading blanks.
std::string tokenText(std::string_view text, const Token& tok, bool withSpaces);

}  // namespace murex
