#include "amount.h"

#include <cassert>
#include <charconv>
#include <utility>

#include "digits.h"
#include "error.h"

namespace murex {

Money moneyAdd(Money a, Money b) {
  Money r = 0;
  if (__builtin_add_overflow(a, b, &r)) raiseOverflow();
  return r;
}

Money moneySub(Money a, Money b) {
  Money r = 0;
  if (__builtin_sub_overflow(a, b, &r)) raiseOverflow();
  return r;
}

Money moneyNeg(Money a) { return moneySub(0, a); }

Money parseMoney(std::string_view text, bool decimalComma) {
  // Separators go first, wherever they stand: "_" always, the grouping mark of the mode too.
  std::string s;
  s.reserve(text.size() + 3);
  for (const char c : text) {
    if (c == '_') continue;
    if (decimalComma) {
      if (c == '.') continue;
      s.push_back(c == ',' ? '.' : c);
    } else if (c != ',') {
      s.push_back(c);
    }
  }
  if (s.empty()) raiseValue("Money wrong: '$1'", {text});
  bool negative = false;
  std::string_view rest = s;
  if (rest[0] == '-' || rest[0] == '+') {
    negative = rest[0] == '-';
    rest.remove_prefix(1);
  }
  const size_t dot = rest.find('.');
  if (dot != std::string_view::npos && rest.find('.', dot + 1) != std::string_view::npos)
    raiseValue("Money has multiple decimal separators: '$1'", {text});
  std::string digits;
  digits.reserve(rest.size() + 2);
  if (dot == std::string_view::npos) {
    digits.append(rest).append("00");
  } else {
    const size_t decimals = rest.size() - dot - 1;
    if (decimals > 2)
      raiseValue("Only two decimals allowed after the decimal separator: '$1'", {text});
    digits.append(rest.substr(0, dot)).append(rest.substr(dot + 1)).append(2 - decimals, '0');
  }
  for (const char c : digits)
    if (c < '0' || c > '9') raiseValue("Money wrong: '$1'", {text});
  // The readers' common limit keeps every parsed amount below moneyUnset.
  const int64_t cents = toBigInt(digits, 0).value;
  return negative ? -cents : cents;
}

Money parseMoneyMul(std::string_view text, bool decimalComma, Warnings& warnings) {
  if (text.find('*') == std::string_view::npos) return parseMoney(text, decimalComma);
  Money acc = 100;
  size_t start = 0;
  bool first = true;
  while (true) {
    const size_t star = text.find('*', start);
    const std::string_view factor =
        text.substr(start, star == std::string_view::npos ? std::string_view::npos : star - start);
    if (factor.empty()) raiseValue("Wrong amount: $1", {text});
    const Money f = parseMoney(factor, decimalComma);
    if (f < 0 && !first) raiseValue("Wrong amount:$1", {text});
    acc = moneyMul(acc, f, warnings);
    first = false;
    if (star == std::string_view::npos) break;
    start = star + 1;
  }
  return acc;
}

namespace {

int64_t checkedProduct(int64_t a, int64_t b) {
  int64_t c = 0;
  if (__builtin_mul_overflow(a, b, &c)) raiseOverflow();
  return c;
}

}  // namespace

Money moneyMul(int64_t a, int64_t b, Warnings& warnings) {
  const int64_t c = checkedProduct(a, b);
  const int64_t lost = c % 100;
  if (lost > 0) {
    char num[24];
    const auto end = std::to_chars(num, num + sizeof num, lost).ptr;
    std::string line = "loss of precision: ";
    line.append(moneyStr(a)).append(" * ").append(moneyStr(b)).append(". Cents lost: ");
    line.append(num, size_t(end - num));
    warnings.push_back(std::move(line));
  }
  return c / 100;
}

Money moneyMulSilent(int64_t a, int64_t b) { return checkedProduct(a, b) / 100; }

Money moneyDiv(int64_t a, int64_t b) {
  const int64_t c = checkedProduct(a, 100);
  if (b == 0) raiseError(ErrorKind::ZeroDivision, "Division by zero");
  if (b == -1) return moneyNeg(c);
  return c / b;
}

std::string formatMoney(Money m, std::string_view pattern) {
  assert(!pattern.empty());
  const Money n = m < 0 ? moneyNeg(m) : m;
  std::string s(pattern);
  std::string spill;  // digits beyond the pattern's positions, least significant first
  int64_t pos = std::ssize(s);
  int64_t firstFilled = pos;
  uint64_t rest = static_cast<uint64_t>(n);
  for (int written = 0; rest > 0 || written < 3; ++written) {
    const char digit = static_cast<char>('0' + rest % 10);
    rest /= 10;
    while (pos > 0 && s[pos - 1] != '#') --pos;
    if (pos > 0) {
      s[--pos] = digit;
      firstFilled = pos;
    } else {
      spill.push_back(digit);
    }
  }
  std::string out;
  out.reserve(s.size() + spill.size() + 1);
  if (m < 0) out.push_back('-');
  out.append(spill.rbegin(), spill.rend());
  out.append(spill.empty() ? std::string_view(s).substr(firstFilled) : std::string_view(s));
  return out;
}

std::string moneyStr(Money m) { return formatMoney(m, "#.##"); }

std::string reportMoney(Money m, std::string_view pattern, bool whole) {
  if (m == 0) return "- ";
  const Money a = m < 0 ? moneyNeg(m) : m;
  std::string s = formatMoney(a, pattern);
  if (whole) {
    assert(a % 100 == 0);
    s.resize(s.size() - 3);
  }
  return m < 0 ? "(" + s + ")" : s + " ";
}

bool readPlainMoney(std::string_view w, bool decimalComma, Money& out) {
  // The usual form first: a sign or none, 1 to 15 digits, the separator, two digits.
  const char* p = w.data();
  const size_t n = w.size();
  const size_t sign = n > 0 && (p[0] == '-' || p[0] == '+') ? 1 : 0;
  const auto digit = [](char c) { return unsigned(c - '0') < 10; };
  if (n >= sign + 4 && n - sign <= 18 && p[n - 3] == (decimalComma ? ',' : '.') &&
      digit(p[n - 2]) && digit(p[n - 1])) {
    int64_t units = 0;
    size_t k = sign;
    for (; k < n - 3 && digit(p[k]); ++k) units = units * 10 + (p[k] - '0');
    if (k == n - 3) {
      const int64_t value = units * 100 + (p[n - 2] - '0') * 10 + (p[n - 1] - '0');
      out = p[0] == '-' ? -value : value;
      return true;
    }
  }
  const char* at = w.data();
  const char* const end = at + w.size();
  const bool negative = at < end && *at == '-';
  if (at < end && (*at == '-' || *at == '+')) ++at;
  const char* const unitsStart = at;
  uint64_t units = 0;  // wraps only past 19 digits, and more than 15 are refused
  for (; at < end && unsigned(*at - '0') < 10; ++at) units = units * 10 + unsigned(*at - '0');
  int64_t digits = at - unitsStart;
  if (digits > 15) return false;  // far below the readers' limit
  int64_t cents = 0;
  if (at < end && *at == (decimalComma ? ',' : '.')) {
    ++at;
    int k = 0;
    for (; k < 2 && at < end && unsigned(*at - '0') < 10; ++k, ++at)
      cents = cents * 10 + (*at - '0');
    if (k == 1) cents *= 10;
    digits += k;
  }
  if (at != end || digits == 0) return false;
  const int64_t value = int64_t(units) * 100 + cents;
  out = negative ? -value : value;
  return true;
}

}  // namespace murex
