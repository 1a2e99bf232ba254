// The read-only questions that reports ask of a parsed ledger. Every account and kind
// query walks that account's or kind's own split index, never the whole split list.
#include <algorithm>
#include <cassert>
#include <string>
#include <string_view>
#include <vector>

#include "parser.h"
#include "util.h"

namespace murex {

namespace {

[[maybe_unused]] bool inRange(int64_t pos, size_t size) {
  return pos >= 0 && pos < static_cast<int64_t>(size);
}

}  // namespace

size_t firstNotBefore(const Ledger& ledger, const std::vector<int64_t>& index, Datum d) {
  const auto it = std::partition_point(index.begin(), index.end(), [&](int64_t sp) {
    const Split& s = ledger.splits[sp];
    return s.traPos == 0 || ledger.transactions[s.traPos].date < d;
  });
  return static_cast<size_t>(it - index.begin());
}

bool canReport(const Ledger& ledger) {
  return ledger.errorText.empty() && !ledger.transactions.empty();
}

int splitInPeriod(const Ledger& ledger, Datum ds, Datum de, int64_t splitPos) {
  assert(inRange(splitPos, ledger.splits.size()));
  const Split& s = ledger.splits[splitPos];
  const Datum d = ledger.transactions[s.traPos].date;
  if (s.traPos == 0 || d < ds) return -1;
  return d > de ? 1 : 0;
}

Sums accountSums(const Ledger& ledger, int64_t accountPos, Datum ds, Datum de) {
  assert(canReport(ledger) && inRange(accountPos, ledger.accountSplits.size()));
  const std::vector<int64_t>& index = ledger.accountSplits[accountPos];
  // The splits before the period only carry the balance: jump over them.
  const size_t first = firstNotBefore(ledger, index, ds);
  Sums sums;
  if (first > 0) sums.balance = ledger.splits[index[first - 1]].balance;
  for (size_t i = first; i < index.size(); ++i) {
    const int64_t sp = index[i];
    if (splitInPeriod(ledger, ds, de, sp) == 1) break;
    const Split& s = ledger.splits[sp];
    sums.balance = s.balance;
    if (s.money >= 0) {
      sums.debit = moneyAdd(sums.debit, s.money);
    } else {
      sums.credit = moneySub(sums.credit, s.money);
    }
  }
  return sums;
}

Sums subtreeSums(const Ledger& ledger, int64_t accountPos, Datum ds, Datum de) {
  assert(canReport(ledger) && inRange(accountPos, ledger.accounts.size()));
  Sums total;
  const int64_t indent = ledger.accounts[accountPos].indent;
  const int64_t n = std::ssize(ledger.accounts);
  for (int64_t j = accountPos; j < n; ++j) {
    // A following account belongs to the sub-tree while it is indented deeper.
    if (j > accountPos && ledger.accounts[j].indent <= indent) break;
    const Sums s = accountSums(ledger, j, ds, de);
    total.debit = moneyAdd(total.debit, s.debit);
    total.credit = moneyAdd(total.credit, s.credit);
    total.balance = moneyAdd(total.balance, s.balance);
  }
  return total;
}

Money accountBalanceAt(const Ledger& ledger, int64_t accountPos, Datum d) {
  assert(canReport(ledger) && inRange(accountPos, ledger.accountSplits.size()));
  const std::vector<int64_t>& index = ledger.accountSplits[accountPos];
  const size_t k = firstNotBefore(ledger, index, d);
  return k == 0 ? 0 : ledger.splits[index[k - 1]].balance;
}

bool isLedgerClosed(const Ledger& ledger) {
  assert(canReport(ledger));
  for (int64_t a = 0; a < std::ssize(ledger.accounts); ++a) {
    const char type = accountType(ledger.accounts, a).effective;
    if (type != 'I' && type != 'E') continue;
    // The running balance of the last split is the sum of all of them.
    const std::vector<int64_t>& index = ledger.accountSplits[a];
    if (!index.empty() && ledger.splits[index.back()].balance != 0) return false;
  }
  return true;
}

namespace {

Holding addSlots(const Ledger& ledger, std::pair<int64_t, int64_t> range, Holding before) {
  for (int64_t i = range.first; i < range.second; ++i) {
    const Slot& slot = ledger.slots[i];
    before.items = moneyAdd(before.items, slot.numItems);
    before.money = moneyAdd(before.money, moneyMulSilent(slot.numItems, slot.unitPrice));
  }
  return before;
}

}  // namespace

Holding holdingAfter(const Ledger& ledger, int64_t splitPos, Holding before) {
  assert(inRange(splitPos, ledger.splits.size()));
  return addSlots(ledger, splitSlots(ledger, splitPos), before);
}

Holding kindHoldingAfter(const Ledger& ledger, int64_t kindPos, size_t i, Holding before) {
  return addSlots(ledger, kindSplitSlots(ledger, kindPos, i), before);
}

Items kindSplitItems(const Ledger& ledger, int64_t kindPos, size_t i) {
  const auto [begin, end] = kindSplitSlots(ledger, kindPos, i);
  Items sum = 0;
  for (int64_t k = begin; k < end; ++k) sum += ledger.slots[k].numItems;
  return sum;
}

KindSums kindSums(const Ledger& ledger, int64_t kindPos, Datum ds, Datum de) {
  assert(canReport(ledger) && inRange(kindPos, ledger.kindSplits.size()));
  KindSums sums;
  const std::vector<int64_t>& index = ledger.kindSplits[kindPos];
  for (size_t i = 0; i < index.size(); ++i) {
    const int where = splitInPeriod(ledger, ds, de, index[i]);
    if (where == 1) break;
    const Items items = kindSplitItems(ledger, kindPos, i);
    const int64_t sp = index[i];
    sums.items = moneyAdd(sums.items, items);
    sums.money = moneyAdd(sums.money, ledger.splits[sp].money);
    if (where != 0) continue;
    if (items > 0) {
      sums.itemsIn = moneyAdd(sums.itemsIn, items);
    } else {
      sums.itemsOut = moneySub(sums.itemsOut, items);
    }
  }
  return sums;
}

Holding kindTotalAt(const Ledger& ledger, int64_t kindPos, Datum d) {
  assert(canReport(ledger) && inRange(kindPos, ledger.kindSplits.size()));
  const std::vector<int64_t>& index = ledger.kindSplits[kindPos];
  const size_t k = firstNotBefore(ledger, index, d);
  Holding h;
  for (size_t i = 0; i < k; ++i) h = kindHoldingAfter(ledger, kindPos, i, h);
  return h;
}

std::string ledgerAmountText(const Ledger& ledger, Money m) {
  std::string text = formatMoney(m, ledger.decimalComma ? "#_###_###,##" : "#_###_###.##");
  if ((m > 100 || m < -100) && m % 100 == 0) text.resize(text.size() - 3);
  return text;
}

std::string transactionText(const Ledger& ledger, int64_t splitPos) {
  if (!canReport(ledger)) return "";
  assert(inRange(splitPos, ledger.splits.size()));
  const int64_t traPos = ledger.splits[splitPos].traPos;
  const Transaction& t = ledger.transactions[traPos];
  int64_t first = splitPos;
  while (first > 0 && ledger.splits[first - 1].traPos == traPos) --first;

  std::string out = formatDatum(t.date, ledger.dateFormat);
  out += ' ';
  out += transactionDescription(ledger, t);
  out += '\n';
  for (int64_t sp = first; sp < std::ssize(ledger.splits); ++sp) {
    const Split& s = ledger.splits[sp];
    if (s.traPos != traPos) break;
    out += "    ";
    out += ledger.accounts[s.accountPos].name;
    if (s.kindPos < 0) {
      out += ' ';
      out += ledgerAmountText(ledger, s.money);
    } else {
      const Items items = splitItems(ledger, sp);
      out += ':';
      out += ledger.kinds[s.kindPos].name;
      out += ' ';
      out += ledgerAmountText(ledger, items);
      out += '@';
      if (items > 0) out += ledgerAmountText(ledger, splitUnitPrice(ledger, sp));
    }
    if (const std::string_view comment = splitComment(ledger, sp); !comment.empty()) {
      out += " ; ";
      out += comment;
    }
    out += '\n';
  }
  return out;
}

std::string newOpeningText(const Ledger& ledger) {
  if (!canReport(ledger)) return "";
  assert(isLedgerClosed(ledger));

  // The day after the last transaction, but no later than the format can write back.
  const bool twoDigitYear = ledger.dateFormat.find('Y') != std::string::npos;
  const Datum lastWritable = twoDigitYear ? 20991231 : 21001231;
  const Datum last = ledger.transactions.back().date;
  const Datum date = last >= lastWritable ? lastWritable : std::min(addDays(last, 1), lastWritable);

  // Items still held per addition record, and each kind's records that hold some.
  std::vector<Items> left(ledger.slots.size(), 0);
  for (const Slot& s : ledger.slots) {
    assert(inRange(s.slotPos, left.size()));
    left[s.slotPos] = moneyAdd(left[s.slotPos], s.numItems);
  }
  std::vector<std::vector<int64_t>> held(ledger.kinds.size());
  for (int64_t i = 0; i < std::ssize(ledger.slots); ++i)
    if (ledger.slots[i].numItems > 0 && left[i] > 0) held[ledger.slots[i].kindPos].push_back(i);

  std::vector<std::vector<int64_t>> kindsOf(ledger.accounts.size());
  for (int64_t k = 0; k < std::ssize(ledger.kinds); ++k)
    kindsOf[ledger.kinds[k].accountPos].push_back(k);

  std::string out = formatDatum(date, ledger.dateFormat);
  out += " Opening transaction\n";
  std::string kindLines;
  for (int64_t a = 0; a < std::ssize(ledger.accounts); ++a) {
    const Account& acc = ledger.accounts[a];
    const std::string indent(static_cast<size_t>(acc.indent), ' ');
    const std::vector<int64_t>& index = ledger.accountSplits[a];
    const Money balance = index.empty() ? 0 : ledger.splits[index.back()].balance;

    kindLines.clear();
    Money kindValue = 0;
    const bool inventory = !kindsOf[a].empty();
    for (const int64_t k : kindsOf[a]) {
      const Kind& kind = ledger.kinds[k];
      std::string note;
      if (!kind.description.empty() && kind.description != kind.name) {
        note = " ; ";
        note += kind.description;
      }
      const std::string head = indent + acc.name + ":" + kind.name + " ";
      if (held[k].empty()) {
        // Re-declared empty, so that the next ledger can still use the kind.
        kindLines += head + "0@" + note + "\n";
        continue;
      }
      for (const int64_t slotPos : held[k]) {
        const Slot& slot = ledger.slots[slotPos];
        kindValue = moneyAdd(kindValue, moneyMulSilent(left[slotPos], slot.unitPrice));
        kindLines += head + ledgerAmountText(ledger, left[slotPos]) + "@" +
                     ledgerAmountText(ledger, slot.unitPrice) + note + "\n";
        note.clear();
      }
    }

    out += indent;
    out += acc.name;
    out += ' ';
    if (inventory) {
      // Money on the account beyond the carried slots (residues, opening money) stays.
      const Money rest = moneySub(balance, kindValue);
      out += rest == 0 ? std::string("0") : ledgerAmountText(ledger, rest);
    } else {
      out += ledgerAmountText(ledger, balance);
    }
    std::string note;
    if (acc.typeChar != '-') note = std::string("@") + acc.typeChar;
    if (!acc.description.empty()) {
      if (!note.empty()) note += ' ';
      note += acc.description;
    }
    if (!note.empty()) {
      out += " ; ";
      out += note;
    }
    out += '\n';
    out += kindLines;
  }
  return out;
}

bool filterMatch(std::string_view text, const std::vector<std::string>& words) {
  if (words.empty() || text.empty()) return false;
  bool result = false;
  for (const std::string& word : words) {
    const char sign = word.empty() ? ' ' : word[0];
    const size_t skip = word.find_first_not_of("+-");
    const std::string_view term =
        skip == std::string::npos ? std::string_view() : std::string_view(word).substr(skip);
    const size_t at = text.find(term);
    bool found = false;
    if (at != std::string_view::npos) {
      if (at == 0) {
        found = true;
      } else {
        const unsigned char c = static_cast<unsigned char>(text[at - 1]);
        found = (c >= '\t' && c <= '\r') || c == ' ' || (c >= '!' && c <= '/') ||
                (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
      }
    }
    if (sign == '+' && !found) return false;
    if (sign == '-' && found) return false;
    if (found || sign == '-') result = true;
  }
  return result;
}

std::string highlightLedger(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  TokenType prevType = TokenType::NewLine;
  TokenType prevClass = TokenType::NewLine;
  int64_t datumCount = 0;
  int64_t pos = 0;
  while (true) {
    const Token tok = nextToken(text, pos);
    pos += tok.len;
    if (tok.tokType == TokenType::End) break;
    TokenType type = tok.tokType;
    if (type == TokenType::Str) type = classify(text, tok, prevType, datumCount);
    prevType = type;
    const TokenType cls = type == TokenType::CommentStart ? TokenType::Comment : type;
    if (prevClass != TokenType::NewLine && prevClass != cls) out += "</span>";
    out.append(text.substr(tok.pos, tok.spaces));
    if (cls != prevClass && cls != TokenType::NewLine) {
      out += "<span class=\"";
      out += tokenTypeName(cls);
      out += "\">";
    }
    out += escapeHtml(tokenText(text, tok, false));
    prevClass = cls;
  }
  return out;
}

}  // namespace murex
