#include "token.h"

#include <cassert>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace murex {

namespace {

// The masks of 64 bytes: bit k of blank for a blank at p[k], of stop for a byte that ends a
// word. Every byte of a ledger passes here: where the machine has them, sixteen bytes are
// compared at a time, against the bytes of isBlank and endsWord.
void blockMasks(const char* p, uint64_t& blank, uint64_t& stop, bool& formFeeds) {
#if defined(__SSE2__)
  static_assert(isBlank(' ') && isBlank('\t') && endsWord('\n') && endsWord(';'));
  blank = 0;
  stop = 0;
  __m128i feeds = _mm_setzero_si128();
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const __m128i b = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                                   _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
    const __m128i e = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')),
                                   _mm_cmpeq_epi8(v, _mm_set1_epi8(';')));
    feeds = _mm_or_si128(feeds, _mm_cmpeq_epi8(v, _mm_set1_epi8(formFeed)));
    blank |= uint64_t(unsigned(_mm_movemask_epi8(b))) << (16 * k);
    stop |= uint64_t(unsigned(_mm_movemask_epi8(_mm_or_si128(b, e)))) << (16 * k);
  }
  formFeeds |= _mm_movemask_epi8(feeds) != 0;
#else
  blank = 0;
  stop = 0;
  for (int k = 0; k < 64; ++k) {
    blank |= uint64_t(isBlank(p[k])) << k;
    stop |= uint64_t(endsWord(p[k])) << k;
    formFeeds |= p[k] == formFeed;
  }
#endif
}

}  // namespace

bool WordMasks::build(std::string_view text) {
  const size_t full = text.size() / 64;
  blank.resize(full + 2);
  stop.resize(full + 2);
  bool formFeeds = false;
  for (size_t w = 0; w < full; ++w) blockMasks(text.data() + 64 * w, blank[w], stop[w], formFeeds);
  // The last bytes, and past them line ends: not blank, and the end of any word.
  char tail[64];
  std::memset(tail, '\n', sizeof tail);
  if (text.size() % 64 != 0) std::memcpy(tail, text.data() + 64 * full, text.size() % 64);
  blockMasks(tail, blank[full], stop[full], formFeeds);
  blank[full + 1] = 0;
  stop[full + 1] = ~uint64_t(0);
  return formFeeds;
}

std::string_view tokenTypeName(TokenType type) {
  // In the order of TokenType.
  static constexpr std::string_view names[] = {
      "Unset", "NewLine",     "CommentStart", "Comment", "Str",    "Indent",
      "End",   "Datum",       "Description",  "Account", "Amount", "Tag"};
  const auto i = static_cast<size_t>(type);
  return i < std::size(names) ? names[i] : names[0];
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
