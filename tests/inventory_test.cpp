// tests/inventory_test.cpp: kinds, inventory amounts and the first-in, first-out slots.
#include "error.h"
#include "inventory.h"

#include <gtest/gtest.h>

#include <random>

#include "literal_ledger.h"

namespace murex {
namespace {

// The products' warnings, which these tests do not look at (amount_test does).
Warnings warnings;

std::string errorOf(std::string_view word) {
  try {
    splitMoney(word, false, warnings);
  } catch (const Error& e) {
    return e.message;
  }
  return "";
}

TEST(SplitMoney, ReadsItemsAndPrice) {
  struct Case {
    std::string_view word;
    Items items;
    Money price;
  };
  const Case cases[] = {
      {"520@164.21", 52000, 16421}, {"-170@", -17000, 0},  {"0@", 0, 0},
      {"3*2@1.5", 600, 150},        {"1.5@2*3", 150, 600},
  };
  for (const Case& c : cases) {
    const ItemsAtPrice ip = splitMoney(c.word, false, warnings);
    EXPECT_EQ(ip.items, c.items) << c.word;
    EXPECT_EQ(ip.unitPrice, c.price) << c.word;
  }
  EXPECT_EQ(splitMoney("1,5@2,25", true, warnings).unitPrice, 225);
}

TEST(SplitMoney, RefusesWithWholeWord) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"@5", "'@' symbol must separate two numbers: @5"},
      {"5@1@2", "Multiple '@' symbols not valid!: 5@1@2"},
      {"@@", "Multiple '@' symbols not valid!: @@"},
      {"5@", "Unit price missing: 5@"},
      {"5@0", "Unit price must be positive: 5@0"},
      {"5@-1", "Unit price must be positive: 5@-1"},
      {"-5@3", "Unit price must be left empty when removing from inventory (e.g. '-123@'): -5@3"},
      {"0@5", "Unit price must be zero when number of items is zero"},
      {"x@5", "Money wrong: 'x'"},
      {"5@1.234", "Only two decimals allowed after the decimal separator: '1.234'"},
  };
  for (const auto& [word, message] : cases) EXPECT_EQ(errorOf(word), message) << word;
}

TEST(Kinds, AreUniqueOverAllAccounts) {
  Kinds kinds;
  EXPECT_TRUE(addKind(kinds, 2, "GOOGL", "").ok);
  const Found dup = addKind(kinds, 3, "GOOGL", "x");
  EXPECT_FALSE(dup.ok);
  EXPECT_EQ(dup.pos, 0);
  EXPECT_TRUE(addKind(kinds, 3, "Wine", "Red wine").ok);
  EXPECT_TRUE(findKind(kinds, 2, "GOOGL").ok);
  EXPECT_FALSE(findKind(kinds, 3, "GOOGL").ok);
  EXPECT_TRUE(hasKinds(kinds, 3));
  EXPECT_FALSE(hasKinds(kinds, 1));
  EXPECT_EQ(kindLabel(kinds, 0), "GOOGL ()");
  setKindDescription(kinds, 0, "Alphabet");
  setKindDescription(kinds, 0, "second");
  EXPECT_EQ(kindLabel(kinds, 0), "GOOGL (Alphabet)");
  EXPECT_EQ(searchKind(kinds, "2").pos, 1);
  EXPECT_EQ(searchKind(kinds, "red").pos, 1);
  EXPECT_EQ(searchKind(kinds, "goo").pos, 0);
  EXPECT_FALSE(searchKind(kinds, "3").ok);
  EXPECT_FALSE(searchKind(kinds, "").ok);
}

TEST(RemoveItems, DrawsOldestSlotsFirst) {
  Slots slots;
  EXPECT_EQ(addItems(slots, 0, 0, 10000, 1000, warnings), 100000);
  EXPECT_EQ(addItems(slots, 1, 0, 10000, 1200, warnings), 120000);
  EXPECT_EQ(addItems(slots, 1, 1, 500, 100, warnings), 500);  // another kind in between
  EXPECT_EQ(removeItems(slots, 2, 0, 15000), 160000);
  ASSERT_EQ(slots.size(), 5u);
  EXPECT_EQ(slots[3].slotPos, 0);
  EXPECT_EQ(slots[3].numItems, -10000);
  EXPECT_EQ(slots[4].slotPos, 1);
  EXPECT_EQ(slots[4].numItems, -5000);
  EXPECT_EQ(slots[4].unitPrice, 1200);
  EXPECT_EQ(itemsInSlot(slots, 0), 0);
  EXPECT_EQ(itemsInSlot(slots, 1), 5000);
  const Holding now = kindTotal(slots, 0, -1);
  EXPECT_EQ(now.items, 5000);
  EXPECT_EQ(now.money, 60000);
  const Holding before = kindTotal(slots, 0, 1);  // the removal by split 2 is not counted
  EXPECT_EQ(before.items, 20000);
  EXPECT_EQ(itemsOfSplit(slots, 2), -15000);
  EXPECT_EQ(itemsOfSplit(slots, 9), 0);
  EXPECT_EQ(unitPriceOfSplit(slots, 1), 1200);
  EXPECT_EQ(addItems(slots, 3, 0, 0, 0, warnings), 0);
  EXPECT_EQ(slots.size(), 5u);
}

TEST(RemoveItems, PartialSlotKeepsTheRest) {
  Slots slots;
  EXPECT_EQ(addItems(slots, 0, 0, 52000, 16421, warnings), 8538920);
  EXPECT_EQ(removeItems(slots, 1, 0, 17000), 2791570);
  EXPECT_EQ(itemsInSlot(slots, 0), 35000);
}

// The parse's running form against the literal walks, on many random movements.
TEST(KindRun, WritesTheSameRecordsAsTheLiteralWalk) {
  std::mt19937_64 rng(7);
  Slots literal, fast;
  constexpr int64_t kinds = 4;
  KindRuns runs(kinds);
  for (int64_t step = 0; step < 3000; ++step) {
    const int64_t k = int64_t(rng() % kinds);
    const Items have = kindTotal(literal, k, -1).items;
    ASSERT_EQ(runItems(runs, k), have);
    if (rng() % 3 != 0 || have == 0) {
      const Items n = int64_t(rng() % 5000) + (rng() % 4 == 0 ? 0 : 1);
      const Money price = int64_t(rng() % 20000) + 1;
      EXPECT_EQ(addItems(literal, step, k, n, price, warnings),
                runAddItems(runs, fast, step, k, n, price, warnings));
    } else {
      const Items n = rng() % 5 == 0 ? have : int64_t(rng() % uint64_t(have + 1));
      EXPECT_EQ(removeItems(literal, step, k, n),
                runRemoveItems(runs, fast, step, k, n, warnings));
    }
    ASSERT_EQ(literal.size(), fast.size()) << step;
  }
  for (size_t i = 0; i < literal.size(); ++i) {
    EXPECT_EQ(literal[i].splitPos, fast[i].splitPos);
    EXPECT_EQ(literal[i].kindPos, fast[i].kindPos);
    EXPECT_EQ(literal[i].numItems, fast[i].numItems);
    EXPECT_EQ(literal[i].unitPrice, fast[i].unitPrice);
    EXPECT_EQ(literal[i].slotPos, fast[i].slotPos);
  }
  for (int64_t k = 0; k < kinds; ++k) {
    EXPECT_EQ(runs[k].money, kindTotal(literal, k, -1).money);
  }
}

TEST(KindRun, RaisesWhereKindTotalWould) {
  Slots slots;
  KindRuns runs(1);
  runAddItems(runs, slots, 0, 0, INT64_MAX / 2, 1, warnings);
  runAddItems(runs, slots, 0, 0, INT64_MAX / 2, 1, warnings);
  runAddItems(runs, slots, 0, 0, INT64_MAX / 2, 1, warnings);  // the item sum passes the range
  EXPECT_THROW(kindTotal(slots, 0, -1), Error);
  EXPECT_THROW(runItems(runs, 0), Error);
}

}  // namespace
}  // namespace murex
