#include "encoding.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "errorframe.h"
#include "json.h"
#include "unicode.h"

namespace murex {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// Windows-1252 for 0x80..0x9F; the five bytes it leaves open keep their Latin-1 meaning
// (control characters), so that no byte is lost.
constexpr char16_t cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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
  for (int lineEnds = 0;;) {
    const size_t end = std::min(bytes.find_first_of("\r\n", pos), bytes.size());
    appendWellFormed(text, bytes.substr(pos, end - pos));
    if (end == bytes.size() || ++lineEnds == 3) return text;
    pos = end + takeLineEnd(bytes, end, text);
  }
}

}  // namespace

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
      appendUtf8(out, b < 0xA0 ? cp1252High[b - 0x80] : b);
      ++i;
    } else if (const Utf8Step step = decodeUtf8(bytes, int64_t(i)); step.valid) {
      out.append(bytes.substr(i, size_t(step.len)));
      i += size_t(step.len);
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
