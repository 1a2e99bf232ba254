#include "inventory.h"

#include <algorithm>
#include <cassert>

#include "util.h"

namespace murex {

Found addKind(Kinds& kinds, int64_t accountPos, std::string_view name,
              std::string_view description) {
  for (int64_t i = 0; i < std::ssize(kinds); ++i)
    if (kinds[i].name == name) return {.ok = false, .pos = i};
  kinds.push_back({.accountPos = accountPos,
                   .name = std::string(name),
                   .description = std::string(description)});
  return {.ok = true, .pos = std::ssize(kinds) - 1};
}

Found findKind(const Kinds& kinds, int64_t accountPos, std::string_view name) {
  for (int64_t i = 0; i < std::ssize(kinds); ++i)
    if (kinds[i].accountPos == accountPos && kinds[i].name == name) return {.ok = true, .pos = i};
  return {};
}

bool hasKinds(const Kinds& kinds, int64_t accountPos) {
  return std::any_of(kinds.begin(), kinds.end(),
                     [accountPos](const Kind& k) { return k.accountPos == accountPos; });
}

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

ItemsAtPrice splitMoney(std::string_view word, bool decimalComma) {
  const size_t at = word.find('@');
  assert(at != std::string_view::npos);
  if (word.find('@', at + 1) != std::string_view::npos)
    raiseValue("Multiple '@' symbols not valid!: $1", {word});
  if (at == 0) raiseValue("'@' symbol must separate two numbers: $1", {word});
  const Items items = parseMoneyMul(word.substr(0, at), decimalComma);
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
  const Money unitPrice = parseMoneyMul(price, decimalComma);
  if (unitPrice <= 0) raiseValue("Unit price must be positive: $1", {word});
  return {.items = items, .unitPrice = unitPrice};
}

Money addItems(Slots& slots, int64_t splitPos, int64_t kindPos, Items numItems, Money unitPrice) {
  assert(splitPos >= 0 && kindPos >= 0);
  if (numItems == 0) return 0;
  assert(numItems > 0 && unitPrice > 0);
  const int64_t pos = std::ssize(slots);
  slots.push_back({.splitPos = splitPos,
                   .kindPos = kindPos,
                   .numItems = numItems,
                   .unitPrice = unitPrice,
                   .slotPos = pos});
  return moneyMul(numItems, unitPrice);
}

Money removeItems(Slots& slots, int64_t splitPos, int64_t kindPos, Items numItems) {
  assert(splitPos >= 0 && kindPos >= 0 && numItems >= 0);
  if (numItems == 0) return 0;
  assert(numItems <= kindTotal(slots, kindPos, -1).items);
  Items toRemove = numItems;
  Money value = 0;
  // Records appended during the walk are removals, skipped by the numItems test.
  for (int64_t i = 0; i < std::ssize(slots) && toRemove > 0; ++i) {
    if (slots[i].kindPos != kindPos || slots[i].numItems <= 0) continue;
    const Items left = itemsInSlot(slots, i);
    if (left <= 0) continue;
    const Items take = std::min(toRemove, left);
    const Money price = slots[i].unitPrice;
    slots.push_back({.splitPos = splitPos,
                     .kindPos = kindPos,
                     .numItems = -take,
                     .unitPrice = price,
                     .slotPos = i});
    value = moneyAdd(value, moneyMul(take, price));
    toRemove -= take;
  }
  assert(toRemove == 0);
  return value;
}

Items itemsInSlot(const Slots& slots, int64_t slotPos) {
  Items sum = 0;
  for (const Slot& s : slots)
    if (s.slotPos == slotPos) sum += s.numItems;  // bounded by the addition, never negative
  assert(sum >= 0);
  return sum;
}

Holding kindTotal(const Slots& slots, int64_t kindPos, int64_t upTo) {
  Holding h;
  for (const Slot& s : slots) {
    if (s.kindPos != kindPos || (upTo >= 0 && s.splitPos > upTo)) continue;
    h.items = moneyAdd(h.items, s.numItems);
    h.money = moneyAdd(h.money, moneyMulSilent(s.numItems, s.unitPrice));
  }
  return h;
}

Items itemsOfSplit(const Slots& slots, int64_t splitPos) {
  Items sum = 0;
  for (const Slot& s : slots)
    if (s.splitPos == splitPos) sum = moneyAdd(sum, s.numItems);
  return sum;
}

Money unitPriceOfSplit(const Slots& slots, int64_t splitPos) {
  for (const Slot& s : slots)
    if (s.splitPos == splitPos) return s.unitPrice;
  assert(false && "unitPriceOfSplit: the split created no slot");
  return 0;
}

namespace {

// Keeps the sums exactly as kindTotal would add them up, record by record in list order.
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
                  Money unitPrice) {
  assert(kindPos >= 0 && kindPos < std::ssize(runs));
  if (numItems == 0) return 0;
  KindRun& run = runs[kindPos];
  const int64_t pos = std::ssize(slots);
  const Money value = addItems(slots, splitPos, kindPos, numItems, unitPrice);
  if (run.oldest == std::ssize(run.additions)) run.oldestLeft = numItems;
  run.additions.push_back(pos);
  runCount(run, numItems, unitPrice);
  return value;
}

Money runRemoveItems(KindRuns& runs, Slots& slots, int64_t splitPos, int64_t kindPos,
                     Items numItems) {
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
    value = moneyAdd(value, moneyMul(take, price));
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
