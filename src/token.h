// token: the ledger text's tokens. The raw scanner knows blanks, semicolons, line ends and
// words; the classifier gives a word its meaning from the token before it.
#pragma once

#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The token's text, form feeds shown as ";;"; withSpaces keeps the leading blanks.
std::string tokenText(std::string_view text, const Token& tok, bool withSpaces);
// The text as the user wrote it: each form feed shown as ";;".
std::string showFormFeeds(std::string_view s);

inline constexpr char formFeed = '\f';  // a ";;" of the file, after loading

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }
inline bool endsWord(char c) { return c == ' ' || c == '\t' || c == '\n' || c == ';'; }

// The scanner looks at every byte of the ledger: where the machine has them, sixteen bytes
// are compared at a time.
#if defined(__SSE2__)
inline int blanksIn(__m128i v) {
  return _mm_movemask_epi8(
      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
}
#endif

// The first position from i on that is not a blank, or n.
inline int64_t skipBlanks(const char* p, int64_t i, int64_t n) {
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    const int blank = blanksIn(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
    if (blank != 0xFFFF) return i + __builtin_ctz(unsigned(~blank));
  }
#endif
  while (i < n && isBlank(p[i])) ++i;
  return i;
}

// The first position from i on that ends a word, or n.
inline int64_t skipWord(const char* p, int64_t i, int64_t n) {
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const int ends =
        blanksIn(v) | _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')),
                                                     _mm_cmpeq_epi8(v, _mm_set1_epi8(';'))));
    if (ends != 0) return i + __builtin_ctz(unsigned(ends));
  }
#endif
  while (i < n && !endsWord(p[i])) ++i;
  return i;
}

// Blanks and words found by comparing the text's bytes.
struct TextSkips {
  const char* p;
  int64_t n;
  int64_t blanks(int64_t i) const { return skipBlanks(p, i, n); }
  int64_t word(int64_t i) const { return skipWord(p, i, n); }
};

// nextToken, inlined into the parse loop; skips finds the ends of blanks and words.
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

// Raw scanner: NewLine, CommentStart, Str or End from start (<= text size). Reads the text
// in place and allocates nothing: it runs once per byte of the ledger.
inline Token nextToken(std::string_view text, int64_t start) {
  return scanToken(text, start, TextSkips{.p = text.data(), .n = std::ssize(text)});
}

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
      // Tags exist only up to the second column-0 word: in the header and the opening
      // transaction; later an "@" word is ordinary comment text.
      return datumCount < 2 && tok.spaces < tok.len && text[tok.pos + tok.spaces] == '@'
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

}  // namespace murex
