#include "splitamount.h"

#include <cassert>
#include <cstdint>
#include <string_view>

#include "error.h"

namespace murex {

namespace {

void touchAccount(Parse& p, int64_t accountPos) {
  AccountRun& r = p.accountRuns[accountPos];
  if (r.traPos == p.traPos) return;
  r.traPos = p.traPos;
  r.base = r.run;
  r.baseOverflow = r.runOverflow;
}

void countMoney(AccountRun& r, Money m) {
  if (m == moneyUnset || r.runOverflow) return;  // an unset amount is skipped by "close"
  if (__builtin_add_overflow(r.run, m, &r.run)) r.runOverflow = true;
}

// Called once a split's amount is known, in split order. The running sum is the split's
// balance; an amount left unset gets its balance, and those after it in its transaction
// theirs again, when finishTransaction fills it.
void moneySet(Parse& p, Split& split) {
  touchAccount(p, split.accountPos);
  if (split.money == moneyUnset) return;  // "close@" on nothing: filled like a left-out amount
  AccountRun& r = p.accountRuns[split.accountPos];
  countMoney(r, split.money);
  split.balance = r.run;
  p.cents |= split.money % 100;
}

}  // namespace

void finishTransaction(Parse& p) {
  Ledger& ledger = p.ledger;
  if (ledger.transactions.empty() || ledger.splits.empty()) return;
  const int64_t first = p.traFirstSplit;
  const int64_t end = std::ssize(ledger.splits);
  int64_t unsetPos = -1;
  Money sum = 0;
  for (int64_t i = first; i < end; ++i) {
    const Money m = ledger.splits[i].money;
    if (m == moneyUnset) {
      if (unsetPos >= 0) {
        p.lineNr = p.lastSplitLine;
        p.errorColumn = p.lastSplitColumn;
        raiseValue("Only one split per transaction can have a missing amount");
      }
      unsetPos = i;
    } else {
      sum = moneyAdd(sum, m);
    }
  }
  if (first == end) raiseValue("Transaction has no split(s)");
  if (unsetPos >= 0) {
    Split& filled = ledger.splits[unsetPos];
    filled.money = moneyNeg(sum);
    // Put the filled amount in its place among the account's sums of this transaction.
    touchAccount(p, filled.accountPos);
    AccountRun& r = p.accountRuns[filled.accountPos];
    r.run = r.base;
    r.runOverflow = r.baseOverflow;
    for (int64_t i = first; i < end; ++i) {
      Split& s = ledger.splits[i];
      if (s.accountPos != filled.accountPos) continue;
      countMoney(r, s.money);
      s.balance = r.run;
    }
    p.cents |= filled.money % 100;
  } else if (sum != 0) {
    p.lineNr = p.lastSplitLine;
    p.errorColumn = p.lastSplitColumn;
    raiseValue("Money amounts do not add up to zero");
  }
}

void procMoney(Parse& p, std::string_view word) {
  Ledger& ledger = p.ledger;
  assert(!ledger.splits.empty());
  const int64_t splitPos = std::ssize(ledger.splits) - 1;
  Split& split = ledger.splits.back();
  // Almost every amount has the plain form, which holds no "@" and is no keyword.
  if (split.kindPos < 0 && readPlainMoney(word, ledger.decimalComma, split.money)) {
    moneySet(p, split);
    return;
  }
  const bool hasAt = word.find('@') != std::string_view::npos;
  if (split.kindPos < 0 && hasAt) raiseValue("At sign ('@') unexpected here: $1", {word});
  if (split.kindPos >= 0 && !hasAt) raiseValue("Expected numItems@unitPrice: $1", {word});
  constexpr std::string_view revalue = "revalue@";
  Money money = moneyUnset;
  if (word == "close@") {
    const Items n = runItems(p.kindRuns, split.kindPos);
    if (n > 0)
      money = moneyNeg(
          runRemoveItems(p.kindRuns, ledger.slots, splitPos, split.kindPos, n, p.warnings));
  } else if (word == "close") {
    const AccountRun& r = p.accountRuns[split.accountPos];
    if (r.runOverflow) raiseOverflow();
    money = moneyNeg(r.run);
    ledger.closingSplits.push_back(splitPos);
  } else if (word.starts_with(revalue)) {
    const Money price = parseMoney(word.substr(revalue.size()), ledger.decimalComma);
    if (price <= 0) raiseValue("New price must be positive");
    const int64_t kindPos = split.kindPos;
    const Items n = runItems(p.kindRuns, kindPos);
    split.money =
        moneyNeg(runRemoveItems(p.kindRuns, ledger.slots, splitPos, kindPos, n, p.warnings));
    newComment(ledger, splitPos, "Revalue: take all out");
    const Money back =
        runAddItems(p.kindRuns, ledger.slots, splitPos + 1, kindPos, n, price, p.warnings);
    newComment(ledger, splitPos + 1, "Revalue: put all back with a new price");
    moneySet(p, split);
    Split& putBack = addSplit(p, {.accountPos = split.accountPos, .kindPos = kindPos});
    putBack.money = back;
    moneySet(p, putBack);
    return;
  } else if (!hasAt) {
    money = parseMoneyMul(word, ledger.decimalComma, p.warnings);
  } else {
    const ItemsAtPrice ip = splitMoney(word, ledger.decimalComma, p.warnings);
    if (ip.items < 0) {
      const Items out = moneyNeg(ip.items);
      if (out > runItems(p.kindRuns, split.kindPos)) raiseValue("Inventory cannot go negative!");
      money = moneyNeg(
          runRemoveItems(p.kindRuns, ledger.slots, splitPos, split.kindPos, out, p.warnings));
    } else {
      money = runAddItems(p.kindRuns, ledger.slots, splitPos, split.kindPos, ip.items,
                          ip.unitPrice, p.warnings);
    }
  }
  split.money = money;
  moneySet(p, split);
}

}  // namespace murex
