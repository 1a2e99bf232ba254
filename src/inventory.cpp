#include "inventory.h"

#include <algorithm>
#include <cassert>

#include "digits.h"
#include "error.h"
#include "unicode.h"

namespace murex {

void setKindDescription(Kinds& kinds, int64_t kindPos, std::string_view text) {
  assert(kindPos >= 0 && kindPos < std::ssize(kinds));
  if (kinds[kindPos].description.empty()) kinds[kindPos].description = text;
}

std::string kindLabel(const Kinds& kinds, int64_t kindPos) {
  assert(kindPos >= 0 && kindPos < std::ssize(kinds));
  return kinds[kindPos].name + " (" + kinds[kindPos].description + ")";
}

Found searchKind(const Kinds& kinds, std::string_view text) {
  if (text.empty()) return {};
  int64_t n = 0;
  if (readNumber(text, n)) {
    if (n >= 1 && n <= std::ssize(kinds)) return {.ok = true, .pos = n - 1};
    return {};
  }
  for (int64_t i = 0; i < std::ssize(kinds); ++i) {
    const Kind& k = kinds[i];
    if (startsWithFolded(k.name, text) ||
        (!k.description.empty() && startsWithFolded(k.description, text)))
      return {.ok = true, .pos = i};
  }
  return {};
}

ItemsAtPrice splitMoney(std::string_view word, bool decimalComma, Warnings& warnings) {
  const size_t at = word.find('@');
  assert(at != std::string_view::npos);
  if (word.find('@', at + 1) != std::string_view::npos)
    raiseValue("Multiple '@' symbols not valid!: $1", {word});
  if (at == 0) raiseValue("'@' symbol must separate two numbers: $1", {word});
  const Items items = parseMoneyMul(word.substr(0, at), decimalComma, warnings);
  const std::string_view price = word.substr(at + 1);
  if (items < 0) {
    if (!price.empty())
      raiseValue("Unit price must be left empty when removing from inventory (e.g. '-123@'): $1",
                 {word});
    return {.items = items, .unitPrice = 0};
  }
  if (items == 0) {
    if (!price.empty()) raiseValue("Unit price must be zero when number of items is zero");
    return {};
  }
  if (price.empty()) raiseValue("Unit price missing: $1", {word});
  const Money unitPrice = parseMoneyMul(price, decimalComma, warnings);
  if (unitPrice <= 0) raiseValue("Unit price must be positive: $1", {word});
  return {.items = items, .unitPrice = unitPrice};
}

Money addItems(Slots& slots, int64_t splitPos, int64_t kindPos, Items numItems, Money unitPrice,
               Warnings& warnings) {
  assert(splitPos >= 0 && kindPos >= 0);
  if (numItems == 0) return 0;
  assert(numItems > 0 && unitPrice > 0);
  const int64_t pos = std::ssize(slots);
  slots.push_back({.splitPos = splitPos,
                   .kindPos = kindPos,
                   .numItems = numItems,
                   .unitPrice = unitPrice,
                   .slotPos = pos});
  return moneyMul(numItems, unitPrice, warnings);
}

namespace {

// Keeps the sums record by record in list order, as a walk over the records adds them up.
void runCount(KindRun& run, Items numItems, Money unitPrice) {
  if (run.overflow) return;
  Money value = 0;
  if (__builtin_add_overflow(run.items, numItems, &run.items) ||
      __builtin_mul_overflow(numItems, unitPrice, &value) ||
      __builtin_add_overflow(run.money, value / 100, &run.money))
    run.overflow = true;
}

}  // namespace

Money runAddItems(KindRuns& runs, Slots& slots, int64_t splitPos, int64_t kindPos, Items numItems,
                  Money unitPrice, Warnings& warnings) {
  assert(kindPos >= 0 && kindPos < std::ssize(runs));
  if (numItems == 0) return 0;
  KindRun& run = runs[kindPos];
  const int64_t pos = std::ssize(slots);
  const Money value = addItems(slots, splitPos, kindPos, numItems, unitPrice, warnings);
  if (run.oldest == std::ssize(run.additions)) run.oldestLeft = numItems;
  run.additions.push_back(pos);
  runCount(run, numItems, unitPrice);
  return value;
}

Money runRemoveItems(KindRuns& runs, Slots& slots, int64_t splitPos, int64_t kindPos,
                     Items numItems, Warnings& warnings) {
  assert(kindPos >= 0 && kindPos < std::ssize(runs));
  assert(splitPos >= 0 && numItems >= 0);
  KindRun& run = runs[kindPos];
  Items toRemove = numItems;
  Money value = 0;
  while (toRemove > 0) {
    assert(run.oldest < std::ssize(run.additions));
    const int64_t slotPos = run.additions[run.oldest];
    const Items take = std::min(toRemove, run.oldestLeft);
    const Money price = slots[slotPos].unitPrice;
    slots.push_back({.splitPos = splitPos,
                     .kindPos = kindPos,
                     .numItems = -take,
                     .unitPrice = price,
                     .slotPos = slotPos});
    runCount(run, -take, price);
    value = moneyAdd(value, moneyMul(take, price, warnings));
    toRemove -= take;
    run.oldestLeft -= take;
    if (run.oldestLeft == 0) {
      ++run.oldest;
      run.oldestLeft =
          run.oldest < std::ssize(run.additions) ? slots[run.additions[run.oldest]].numItems : 0;
    }
  }
  return value;
}

Items runItems(const KindRuns& runs, int64_t kindPos) {
  assert(kindPos >= 0 && kindPos < std::ssize(runs));
  if (runs[kindPos].overflow) raiseOverflow();
  return runs[kindPos].items;
}

}  // namespace murex
