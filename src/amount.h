// amount: money as an exact count of cents, read from ledger words and written into
// number patterns. Knows nothing of accounts or files.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace murex {

// Cents. 1.00 is 100, -0.05 is -5; never a floating-point value.
using Money = int64_t;

// A split whose amount was left out carries this until its transaction is finished.
constexpr Money moneyUnset = std::numeric_limits<int64_t>::max() - 9;

// Checked arithmetic: raises "Arithmetic overflow" instead of wrapping.
Money moneyAdd(Money a, Money b);
Money moneySub(Money a, Money b);
Money moneyNeg(Money a);

// Reads a ledger amount such as "-1,234.50"; raises ValueError on bad text.
Money parseMoney(std::string_view text, bool decimalComma);
// The warnings of the readers, in the order met: where they stand is the caller's to add.
using Warnings = std::vector<std::string>;

// An amount that may be a product of factors, "3*1.99"; each step may warn (moneyMul).
Money parseMoneyMul(std::string_view text, bool decimalComma, Warnings& warnings);
// The plain amounts of almost every split line ("-12.50", "3", "+0.5"), read without the
// allocations of parseMoney into what parseMoneyMul gives; false for any other word.
bool readPlainMoney(std::string_view text, bool decimalComma, Money& out);

// a * b, both with two implied decimals, truncated to cents; raises on overflow. Adds
// "loss of precision: a * b. Cents lost: r" to warnings when positive cents drop.
Money moneyMul(int64_t a, int64_t b, Warnings& warnings);
// The same product without the warning, for values recomputed from the ledger.
Money moneyMulSilent(int64_t a, int64_t b);
// a / b with two implied decimals, truncated; raises on overflow and on b == 0.
Money moneyDiv(int64_t a, int64_t b);

// m written into a pattern of "#" digit positions, "-" in front when negative.
std::string formatMoney(Money m, std::string_view pattern);
// formatMoney with "#.##": 1234.50, -0.05.
std::string moneyStr(Money m);
// The accounting form of the reports: "- " for zero, "1,234.56 " or "(1,234.56)"; whole
// drops ".00" (callers pass it only when no value they show has cents).
std::string reportMoney(Money m, std::string_view pattern, bool whole);

}  // namespace murex
