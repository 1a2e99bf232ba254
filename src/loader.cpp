#include "loader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "error.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace murex {

namespace {

// The first position from i on that the normalisation changes or must look at again: a
// carriage return, a ";;", or a semicolon in the last byte (its pair may follow in the next
// bytes); n if none. A lone semicolon stays as it is.
size_t nextToNormalise(const char* d, size_t i, size_t n) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i semi = _mm_set1_epi8(';');
  for (; i + 17 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i + 1));
    const __m128i pairs = _mm_and_si128(_mm_cmpeq_epi8(v, semi), _mm_cmpeq_epi8(after, semi));
    const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), pairs));
    if (hits != 0) return i + size_t(__builtin_ctz(unsigned(hits)));
  }
#endif
  for (; i < n; ++i)
    if (d[i] == '\r' || (d[i] == ';' && (i + 1 == n || d[i + 1] == ';'))) return i;
  return n;
}

// The normalisation of normalizeLedgerText, in place from position from on: it only ever
// shortens the text. The runs between the places it changes are found in one scan and moved
// whole. Unless atEnd, the last one or two bytes may start a pair whose meaning depends on
// what follows: they go to undecided, to be put before the next bytes.
void normalizeInPlace(std::string& s, size_t from, bool atEnd, std::string& undecided) {
  const size_t n = s.size();
  char* const d = s.data();
  size_t r = from;
  size_t w = from;
  while (true) {
    const size_t at = nextToNormalise(d, r, n);
    if (w != r) std::memmove(d + w, d + r, at - r);
    w += at - r;
    r = at;
    if (at == n) break;
    if (!atEnd && (r + 1 == n || (d[r] == '\r' && r + 2 == n && d[r + 1] == '\r'))) {
      undecided.assign(d + r, n - r);
      break;
    }
    if (d[r] == '\r') {
      if (r + 2 < n && d[r + 1] == '\r' && d[r + 2] == '\n') {
        r += 3;
      } else if (r + 1 < n && d[r + 1] == '\n') {
        r += 2;
      } else {
        r += 1;
      }
      d[w++] = '\n';
    } else if (r + 1 < n && d[r + 1] == ';') {
      d[w++] = '\f';
      r += 2;
    } else {
      d[w++] = ';';  // a semicolon at the very end
      r += 1;
    }
  }
  s.resize(w);
}

}  // namespace

std::string readWholeFile(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) raiseValue("Cannot read file: '$1'", {name});
  std::string bytes;
  char buf[1 << 16];
  while (true) {
    const ssize_t got = ::read(fd, buf, sizeof buf);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ::close(fd);
      if (got < 0) raiseValue("Cannot read file: '$1'", {name});  // a folder, or a failed read
      return bytes;
    }
    bytes.append(buf, size_t(got));
  }
}

std::string normalizeLedgerText(std::string_view raw) {
  std::string text(raw);
  std::string undecided;
  normalizeInPlace(text, 0, true, undecided);
  return text;
}

bool LedgerReader::next(std::string& piece) {
  if (done) return false;
  piece.assign(partLine);
  for (;;) {
    const size_t from = piece.size();
    piece += undecided;
    undecided.clear();
    const size_t before = piece.size();
    piece.resize(before + blockSize);
    ssize_t got = 0;
    do {
      got = read(fd, piece.data() + before, blockSize);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      readFailed = true;
      done = true;
      return false;
    }
    piece.resize(before + size_t(got));
    const bool atEnd = got == 0;
    normalizeInPlace(piece, from, atEnd, undecided);
    if (atEnd) {
      done = true;
      return true;
    }
    const void* nl = memrchr(piece.data() + from, '\n', piece.size() - from);
    if (nl != nullptr) {
      const size_t cut = size_t(static_cast<const char*>(nl) - piece.data()) + 1;
      partLine.assign(piece, cut);
      piece.resize(cut);
      return true;
    }
    // A line longer than a block: read on, unless no ledger has such lines (a file of
    // zeros, a binary), which is then not held whole to find its first error.
    if (piece.size() > maxLineBytes) {
      tooLong = true;
      done = true;
      return true;
    }
  }
}

}  // namespace murex
