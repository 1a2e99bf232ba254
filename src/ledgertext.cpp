#include "ledgertext.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <string_view>
#include <vector>

#include "queries.h"
#include "token.h"
#include "html.h"

namespace murex {

namespace {

[[maybe_unused]] bool inRange(int64_t pos, size_t size) {
  return pos >= 0 && pos < static_cast<int64_t>(size);
}

}  // namespace

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
