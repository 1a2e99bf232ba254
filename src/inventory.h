// inventory: kinds of countable items held by inventory accounts, and the append-only list
// of slot records through which items enter at a price and leave first in, first out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "account.h"
#include "amount.h"

namespace murex {

// Hundredths of an item, on the scale of Money: 1.5 items are 150.
using Items = int64_t;

struct Kind {
  int64_t accountPos = -1;
  std::string name;         // passes accNameOK; unique over the whole ledger
  std::string description;  // may be empty
};
using Kinds = std::vector<Kind>;

// An addition (numItems > 0, slotPos its own position) or a removal (numItems < 0,
// slotPos the addition it draws from).
struct Slot {
  int64_t splitPos = -1;
  int64_t kindPos = -1;
  Items numItems = 0;
  Money unitPrice = 0;  // per whole item, always > 0
  int64_t slotPos = -1;
};
using Slots = std::vector<Slot>;

void setKindDescription(Kinds& kinds, int64_t kindPos, std::string_view text);  // if empty
std::string kindLabel(const Kinds& kinds, int64_t kindPos);   // "name (description)"
Found searchKind(const Kinds& kinds, std::string_view text);  // as searchAccount

// "numItems@unitPrice"; raises the inventory amount messages. Products may warn (moneyMul).
struct ItemsAtPrice {
  Items items = 0;
  Money unitPrice = 0;  // 0 for a removal
};
ItemsAtPrice splitMoney(std::string_view word, bool decimalComma, Warnings& warnings);

// Appends an addition and returns its value (moneyMul, may warn).
Money addItems(Slots& slots, int64_t splitPos, int64_t kindPos, Items numItems, Money unitPrice,
               Warnings& warnings);

struct Holding {
  Items items = 0;
  Money money = 0;  // at FIFO cost
};
// Running state of one parse: per kind the current holding and a first-in, first-out cursor,
// so a movement costs time in the records it writes, not in the records before it; the
// records hold what taking items out of the oldest additions first gives.
struct KindRun {
  Items items = 0;
  Money money = 0;                 // book value, summed record by record
  bool overflow = false;           // a running sum left the 64-bit range
  std::vector<int64_t> additions;  // the kind's addition slots, oldest first
  int64_t oldest = 0;              // index in additions of the oldest slot still holding items
  Items oldestLeft = 0;            // the items it still holds
};
using KindRuns = std::vector<KindRun>;  // indexed by kindPos

// The value of what enters or leaves; its products may warn (moneyMul).
Money runAddItems(KindRuns& runs, Slots& slots, int64_t splitPos, int64_t kindPos, Items numItems,
                  Money unitPrice, Warnings& warnings);
Money runRemoveItems(KindRuns& runs, Slots& slots, int64_t splitPos, int64_t kindPos,
                     Items numItems, Warnings& warnings);
// The items the kind holds; raises "Arithmetic overflow" where a sum of its records would.
Items runItems(const KindRuns& runs, int64_t kindPos);

}  // namespace murex
