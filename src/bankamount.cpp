#include "bankamount.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace murex {

namespace {

constexpr std::string_view amountWrong = "Amount wrong: '$1'";

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// A character of a currency symbol or code: letters, "$" and every non-ASCII byte (the
// blanks among them are gone by then).
bool isCurrencyByte(char c) { return isLetter(c) || c == '$' || (c & 0x80) != 0; }

// The cell without blanks (no-break and narrow ones included), U+2212 read as "-".
std::string compact(std::string_view cell) {
  std::string s;
  s.reserve(cell.size());
  for (size_t i = 0; i < cell.size(); ++i) {
    const std::string_view rest = cell.substr(i);
    if (cell[i] == ' ' || cell[i] == '\t') continue;
    if (rest.starts_with("\xC2\xA0")) {
      ++i;
    } else if (rest.starts_with("\xE2\x80\xAF") || rest.starts_with("\xE2\x80\x89")) {
      i += 2;
    } else if (rest.starts_with("\xE2\x88\x92")) {
      s.push_back('-');
      i += 2;
    } else {
      s.push_back(cell[i]);
    }
  }
  return s;
}

// Letters that say debit or credit instead of a sign: read as a currency they would turn
// the sign round unseen.
bool isSignWord(std::string_view run) {
  std::string lower;
  for (const char c : run)
    if (isLetter(c)) lower.push_back(char(c | 0x20));
  static constexpr std::array<std::string_view, 11> words = {
      "cr", "dr", "db", "c", "d", "s", "h", "soll", "haben", "credit", "debit"};
  for (const std::string_view w : words)
    if (lower == w) return true;
  return false;
}

// Groups of three digits after the first, when the number has grouping marks at all.
bool groupsFit(std::string_view whole, bool decimalComma) {
  const char other = decimalComma ? '.' : ',';
  size_t group = 0;
  bool grouped = false;
  for (size_t i = 0; i < whole.size(); ++i) {
    const char c = whole[i];
    if (c == other || c == '\'') {
      if (group == 0 || (grouped && group != 3)) return false;
      grouped = true;
      group = 0;
    } else {
      ++group;
    }
  }
  return !grouped || group == 3;
}

// The signs around a number at one of its ends, and whether a parenthesis stands there.
struct Marks {
  int minus = 0;
  bool plus = false;
  bool paren = false;
};

// Reads the signs and the one currency run at one end of s[begin, end): in front of the
// number when front ("(" opens), else behind it (")" closes), moving that end to the
// number. Answers the error's message, or nothing.
std::string_view readMarks(std::string_view s, size_t& begin, size_t& end, bool front,
                           Marks& marks) {
  const char paren = front ? '(' : ')';
  const auto at = [&] { return front ? s[begin] : s[end - 1]; };
  const auto step = [&] {
    if (front) {
      ++begin;
    } else {
      --end;
    }
  };
  for (bool currency = false; begin < end && !isDigit(at()) && at() != '.' && at() != ',';) {
    const char c = at();
    if (c == '-' || c == '+' || c == paren) {
      marks.minus += c == '-';
      marks.plus = marks.plus || c == '+';
      marks.paren = marks.paren || c == paren;
      step();
    } else if (isCurrencyByte(c) && !currency) {
      const size_t from = begin;
      const size_t to = end;
      while (begin < end && isCurrencyByte(at())) step();
      if (isSignWord(front ? s.substr(from, begin - from) : s.substr(end, to - end)))
        return "Amount wrong: '$1' (debit and credit marks are not read: set negate, or "
               "use the in and out columns)";
      currency = true;
    } else {
      return amountWrong;
    }
  }
  return {};
}

}  // namespace

std::string_view readBankAmount(std::string_view cell, bool decimalComma, Money& out) {
  const std::string s = compact(cell);
  size_t begin = 0;
  size_t end = s.size();
  // Signs and one currency run in front of the number, then behind it.
  Marks front;
  Marks back;
  if (const std::string_view e = readMarks(s, begin, end, true, front); !e.empty()) return e;
  if (const std::string_view e = readMarks(s, begin, end, false, back); !e.empty()) return e;
  const int minus = front.minus + back.minus;
  const bool plus = front.plus || back.plus;
  const bool open = front.paren;
  const bool close = back.paren;
  if (open != close || minus > 1 || (minus + plus + open) > 1) return amountWrong;
  const std::string_view number = std::string_view(s).substr(begin, end - begin);
  const char decimal = decimalComma ? ',' : '.';
  const size_t sep = number.find(decimal);
  const std::string_view whole = number.substr(0, sep);
  const std::string_view fraction =
      sep == std::string_view::npos ? std::string_view() : number.substr(sep + 1);
  bool anyDigit = false;
  for (const char c : whole) {
    if (!isDigit(c) && c != (decimalComma ? '.' : ',') && c != '\'') return amountWrong;
    anyDigit = anyDigit || isDigit(c);
  }
  for (const char c : fraction) {
    if (!isDigit(c)) return amountWrong;
    anyDigit = true;
  }
  if (!anyDigit || !groupsFit(whole, decimalComma)) return amountWrong;
  if (fraction.size() > 2) return "Only two decimals allowed after the decimal separator: '$1'";
  int64_t cents = 0;
  const auto take = [&cents](char c) {
    return !__builtin_mul_overflow(cents, 10, &cents) &&
           !__builtin_add_overflow(cents, c - '0', &cents);
  };
  for (const char c : whole)
    if (isDigit(c) && !take(c)) return "Amount too big: '$1'";
  for (size_t k = 0; k < 2; ++k)
    if (!take(k < fraction.size() ? fraction[k] : '0')) return "Amount too big: '$1'";
  // No more than a ledger amount can be, so that the output reads back.
  if (cents > 9'223'372'036'854'775'709) return "Amount too big: '$1'";
  out = minus + open > 0 ? -cents : cents;
  return "";
}

}  // namespace murex
