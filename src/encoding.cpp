#include "encoding.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "errorframe.h"

namespace murex {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// Windows-1252 for 0x80..0x9F; the five bytes it leaves open keep their Latin-1 meaning
// (control characters), so that no byte is lost.
constexpr char16_t cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendCodePoint(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

// A line end at pos (a carriage return, maybe followed by a line feed) becomes one line
// feed; answers the bytes it took.
size_t takeLineEnd(std::string_view bytes, size_t pos, std::string& out) {
  out.push_back('\n');
  return bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n' ? 2 : 1;
}

// The decoded text and the bytes after pos to the end of the line two lines further, which
// the report quotes after the failing one; each bad byte shown as U+FFFD, so that the report
// quotes the lines without passing the bytes on.
std::string quotable(std::string_view bytes, size_t pos, std::string_view decoded) {
  std::string text(decoded);
  size_t i = pos;
  for (int lineEnds = 0; i < bytes.size();) {
    if (bytes[i] == '\n' || bytes[i] == '\r') {
      if (++lineEnds == 3) break;
      i += takeLineEnd(bytes, i, text);
      continue;
    }
    const size_t len = utf8SequenceLength(bytes, i);
    if (len == 0) {
      text += "\xEF\xBF\xBD";
      ++i;
    } else {
      text.append(bytes.substr(i, len));
      i += len;
    }
  }
  return text;
}

}  // namespace

size_t utf8SequenceLength(std::string_view text, size_t pos) {
  const auto at = [&](size_t k) { return uint8_t(text[pos + k]); };
  const uint8_t b = at(0);
  if (b < 0x80) return 1;
  size_t len = 0;
  uint32_t cp = 0;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    cp = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    cp = b & 0x07;
  } else {
    return 0;
  }
  if (pos + len > text.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((at(k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (at(k) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return len;
}

std::string decodeStatement(std::string_view bytes, Encoding encoding, std::string_view fileName,
                            std::string_view advice) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 16);
  if (bytes.starts_with(byteOrderMark)) {
    if (encoding == Encoding::Latin1) {
      raiseInFile(fileName, quotable(bytes, 3, ""), 1,
                  "The file starts with the UTF-8 byte order mark, but the rules say "
                  "encoding = latin1");
    }
    bytes.remove_prefix(byteOrderMark.size());
  }
  int64_t lineNr = 1;
  size_t lineStart = 0;  // in out
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t b = uint8_t(bytes[i]);
    if (b < 0x80 && b != '\n' && b != '\r') {
      // Most of a statement is plain ASCII: taken a run at a time.
      size_t end = i + 1;
      while (end < bytes.size() && uint8_t(bytes[end]) < 0x80 && bytes[end] != '\n' &&
             bytes[end] != '\r')
        ++end;
      out.append(bytes.substr(i, end - i));
      i = end;
    } else if (b == '\n' || b == '\r') {
      i += takeLineEnd(bytes, i, out);
      ++lineNr;
      lineStart = out.size();
    } else if (encoding == Encoding::Latin1) {
      appendCodePoint(out, b < 0xA0 ? cp1252High[b - 0x80] : b);
      ++i;
    } else if (const size_t len = utf8SequenceLength(bytes, i); len > 0) {
      out.append(bytes.substr(i, len));
      i += len;
    } else {
      static constexpr char hex[] = "0123456789ABCDEF";
      const std::string shown = {'0', 'x', hex[b >> 4], hex[b & 15]};
      // The report quotes the lines before this one and this one made quotable.
      std::string text = out.substr(0, lineStart);
      text += quotable(bytes, i, std::string_view(out).substr(lineStart));
      raiseInFile(fileName, text, lineNr,
                  "Byte not UTF-8: " + shown + " (" + std::string(advice) + ")");
    }
  }
  return out;
}

}  // namespace murex
