// The rules of accounts and of first in, first out written literally, as walks over the
// whole lists: the parse keeps running forms of them, and the tests check those against these.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>

#include "account.h"
#include "inventory.h"

namespace murex {

inline Found findAccount(const Accounts& accounts, std::string_view name) {
  for (int64_t i = 0; i < std::ssize(accounts); ++i)
    if (accounts[i].name == name) return {.ok = true, .pos = i};
  return {};
}

// Not ok: a duplicate name.
inline Found addAccount(Accounts& accounts, Account account) {
  assert(accNameOK(account.name));
  const Found f = findAccount(accounts, account.name);
  if (f.ok) return {.ok = false, .pos = f.pos};
  accounts.push_back(std::move(account));
  return {.ok = true, .pos = std::ssize(accounts) - 1};
}

// Not ok: the name exists already.
inline Found addKind(Kinds& kinds, int64_t accountPos, std::string_view name,
              std::string_view description) {
  for (int64_t i = 0; i < std::ssize(kinds); ++i)
    if (kinds[i].name == name) return {.ok = false, .pos = i};
  kinds.push_back({.accountPos = accountPos,
                   .name = std::string(name),
                   .description = std::string(description)});
  return {.ok = true, .pos = std::ssize(kinds) - 1};
}

inline Found findKind(const Kinds& kinds, int64_t accountPos, std::string_view name) {
  for (int64_t i = 0; i < std::ssize(kinds); ++i)
    if (kinds[i].accountPos == accountPos && kinds[i].name == name) return {.ok = true, .pos = i};
  return {};
}

inline bool hasKinds(const Kinds& kinds, int64_t accountPos) {
  return std::any_of(kinds.begin(), kinds.end(),
                     [accountPos](const Kind& k) { return k.accountPos == accountPos; });
}

inline Items itemsInSlot(const Slots& slots, int64_t slotPos) {
  Items sum = 0;
  for (const Slot& s : slots)
    if (s.slotPos == slotPos) sum += s.numItems;  // bounded by the addition, never negative
  assert(sum >= 0);
  return sum;
}

// Over the records of the kind, only those with splitPos <= upTo when upTo >= 0. Silent.
inline Holding kindTotal(const Slots& slots, int64_t kindPos, int64_t upTo) {
  Holding h;
  for (const Slot& s : slots) {
    if (s.kindPos != kindPos || (upTo >= 0 && s.splitPos > upTo)) continue;
    h.items = moneyAdd(h.items, s.numItems);
    h.money = moneyAdd(h.money, moneyMulSilent(s.numItems, s.unitPrice));
  }
  return h;
}

// Takes numItems out FIFO, one removal record per slot drawn from; returns the value. Silent.
inline Money removeItems(Slots& slots, int64_t splitPos, int64_t kindPos, Items numItems) {
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
    value = moneyAdd(value, moneyMulSilent(take, price));
    toRemove -= take;
  }
  assert(toRemove == 0);
  return value;
}

inline Items itemsOfSplit(const Slots& slots, int64_t splitPos) {
  Items sum = 0;
  for (const Slot& s : slots)
    if (s.splitPos == splitPos) sum = moneyAdd(sum, s.numItems);
  return sum;
}

// Of its first record.
inline Money unitPriceOfSplit(const Slots& slots, int64_t splitPos) {
  for (const Slot& s : slots)
    if (s.splitPos == splitPos) return s.unitPrice;
  assert(false && "unitPriceOfSplit: the split created no slot");
  return 0;
}

}  // namespace murex
