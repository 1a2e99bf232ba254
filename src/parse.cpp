#include "parse.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cassert>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "errorframe.h"
#include "token.h"
#include "util.h"

namespace murex {

namespace {

// The plain amounts of almost every split line ("-12.50", "3", "+0.5"), read without the
// allocations of parseMoney and with its results; anything else goes to parseMoneyMul.
bool quickMoney(std::string_view w, bool decimalComma, Money& out) {
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

// What "close" needs of an account: the sum of its amounts so far, added split by split in
// file order exactly as a walk over the earlier splits would add them. base is the sum before
// the open transaction, so the one split that finishTransaction fills can be put back in
// its place.
struct AccountRun {
  Money base = 0;
  Money run = 0;
  bool baseOverflow = false;
  bool runOverflow = false;
  int64_t traPos = -1;  // the transaction that last touched run
  int64_t splitCount = 0;
};

// Names to positions, looked up once per split line. Open addressing in a power-of-two
// table at most half full: the library map's modulo and node hops cost more than this.
class NameIndex {
 public:
  // The position stored for name, or nullptr.
  const int64_t* find(std::string_view name) const { return find(name, hash(name)); }
  // The same, with the name's hash known.
  const int64_t* find(std::string_view name, size_t nameHash) const {
    if (entries.empty()) return nullptr;
    const size_t mask = entries.size() - 1;
    for (size_t i = nameHash & mask;; i = (i + 1) & mask) {
      const Entry& e = entries[i];
      if (e.pos < 0) return nullptr;
      if (sameName(e.name, name)) return &e.pos;
    }
  }
  // name must not be there yet.
  void insert(std::string_view name, int64_t pos) {
    assert(find(name) == nullptr && pos >= 0);
    if ((count + 1) * 2 > entries.size()) {
      std::vector<Entry> old(std::max<size_t>(16, entries.size() * 2));
      old.swap(entries);
      for (Entry& e : old)
        if (e.pos >= 0) place(std::move(e.name), e.pos);
    }
    place(std::string(name), pos);
    ++count;
  }

  // Names are a few bytes long: compared eight at a time, inline, rather than by a call.
  static bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    size_t i = 0;
    for (; i + 8 <= a.size(); i += 8) {
      uint64_t x = 0;
      uint64_t y = 0;
      std::memcpy(&x, a.data() + i, 8);
      std::memcpy(&y, b.data() + i, 8);
      if (x != y) return false;
    }
    for (; i < a.size(); ++i)
      if (a[i] != b[i]) return false;
    return true;
  }
  // Eight bytes per multiply: a byte-wise hash was a tenth of the parse.
  static uint32_t hash(std::string_view s) {
    constexpr uint64_t mul = 0xff51afd7ed558ccdull;
    uint64_t h = uint64_t(s.size()) * 0x9e3779b97f4a7c15ull;
    size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
      uint64_t w = 0;
      std::memcpy(&w, s.data() + i, 8);
      h = (h ^ w) * mul;
      h ^= h >> 32;
    }
    uint64_t w = 0;
    for (size_t k = 0; i + k < s.size(); ++k) w |= uint64_t(uint8_t(s[i + k])) << (8 * k);
    h = (h ^ w) * mul;
    return uint32_t(h ^ (h >> 29));
  }

 private:
  // The index owns its keys: the text they come from may be gone by the next lookup.
  struct Entry {
    std::string name;
    int64_t pos = -1;
  };
  void place(std::string&& name, int64_t pos) {
    const size_t mask = entries.size() - 1;
    size_t i = hash(name) & mask;
    while (entries[i].pos >= 0) i = (i + 1) & mask;
    entries[i] = {.name = std::move(name), .pos = pos};
  }
  std::vector<Entry> entries;
  size_t count = 0;
};

// What a split line's account word names.
struct SplitTarget {
  int64_t accountPos = -1;
  int64_t kindPos = -1;
};

struct Parse {
  Parse(Ledger& l, int64_t& n) : ledger(l), lineNr(n) {}
  Ledger& ledger;
  int64_t& lineNr;
  NameIndex accountByName;
  NameIndex kindByName;
  // After the opening transaction a split's account word always means the same: each word
  // met is looked up once, then found here whole.
  NameIndex knownWords;
  std::vector<SplitTarget> wordTargets;
  std::vector<SplitTarget> wordIdTargets;  // by the scanner's word numbers; -1: not yet
  // Transactions of one day follow each other: their date word is read once.
  std::string lastDateWord;
  Datum lastDate = 0;
  std::vector<char> accountHasKinds;
  std::vector<AccountRun> accountRuns;
  KindRuns kindRuns;
  std::vector<int64_t> kindSplitCounts;
  int64_t traFirstSplit = 0;  // the first split of the open transaction
  // At the split near the middle that the lists' room foretells, the counts so far of each
  // account's and kind's splits: where the second half of each index begins.
  int64_t halfway = -1;
  std::vector<int64_t> accountCountsAtHalf;
  std::vector<int64_t> kindCountsAtHalf;
  Money cents = 0;            // any non-zero: some amount has cents
  int64_t lastSplitLine = 0;  // the line of the ledger's last split, 0 before the first
  // The token loop's state from one piece of text to the next.
  TokenType prevType = TokenType::NewLine;
  int64_t datumCount = 0;
  bool onSplitLine = false;
  std::string buf;
  std::string bufSpaces;
};

// Pages of the lists are mapped ahead of use, a stretch at a time: one call maps thousands,
// where touching them one by one costs a trap each (most of the system time of a parse).
// Only room the list has taken already is mapped, so nothing is allocated beyond it; where
// the call is unknown the pages come one by one as before.
void mapRange(const void* from, const void* to) {
  const uintptr_t page = 4096;
  const auto begin = reinterpret_cast<uintptr_t>(from) & ~(page - 1);
  const auto end = reinterpret_cast<uintptr_t>(to);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

template <typename T>
void mapAhead(std::vector<T>& list, size_t items) {
  const size_t from = list.size();
  const size_t to = std::min(list.capacity(), from + items);
  if (to > from) mapRange(list.data() + from, list.data() + to);
}

// Every so many items, the next stretch.
template <typename T>
void mapAheadEvery(std::vector<T>& list) {
  constexpr size_t stretch = (size_t(1) << 21) / sizeof(T);
  if (list.size() % stretch == 0) mapAhead(list, stretch);
}

// Room for the lists, taken once from a sample of the text (its start, or all of it) scaled
// to the text's size: growing a list copies it, and room never touched costs no memory. The
// counts are of the lines that can hold what the lists keep, so that a text of blank or
// comment lines does not ask for room it will never use.
void reserveLists(Ledger& ledger, std::string_view sample, int64_t textSize) {
  int64_t dated = 0;
  int64_t indented = 0;
  int64_t semicolons = 0;
  for (size_t at = 0; at < sample.size();) {
    const char c = sample[at];
    dated += c >= '0' && c <= '9';
    indented += c == ' ' || c == '\t';
    const size_t nl = sample.find('\n', at);
    const size_t end = nl == std::string_view::npos ? sample.size() : nl;
    semicolons += std::count(sample.begin() + int64_t(at), sample.begin() + int64_t(end), ';');
    at = end + 1;
  }
  const double scale = sample.empty() ? 0.0 : 1.25 * double(textSize) / double(sample.size());
  const auto scaled = [scale](int64_t n) { return size_t(double(n) * scale) + 16; };
  ledger.transactions.reserve(scaled(dated));
  ledger.splits.reserve(scaled(indented));
  ledger.comments.reserve(scaled(semicolons));
  ledger.texts.reserve(size_t(textSize / 4 + 64));
}

// The word as the user reads it in a message or a stored text: the text in place unless it
// holds a form feed.
std::string_view shownWithFormFeeds(std::string_view raw, std::string& buf) {
  if (std::memchr(raw.data(), formFeed, raw.size()) == nullptr) return raw;
  buf = showFormFeeds(raw);
  return buf;
}

// Kept apart from the rare case above so that it is inlined: it runs for every word.
std::string_view shown(std::string_view raw, std::string& buf, bool textHasFormFeed) {
  return textHasFormFeed ? shownWithFormFeeds(raw, buf) : raw;
}

// Texts grow by a few bytes at a time: their pages too are mapped a stretch ahead, within the
// room taken.
void appendText(std::string& texts, std::string_view part) {
  constexpr size_t stretch = size_t(1) << 21;
  const size_t size = texts.size();
  if (size == 0 || size / stretch != (size + part.size()) / stretch) {
    const size_t from = (size + part.size()) / stretch * stretch;
    const size_t to = std::min(texts.capacity(), from + stretch);
    if (to > from) mapRange(texts.data() + from, texts.data() + to);
  }
  texts.append(part);
}

// Extends the text of length len at the end of texts: its first word alone, every later one
// with the blanks that stood before it.
void appendWord(std::string& texts, int64_t& len, std::string_view word,
                std::string_view withSpaces) {
  const std::string_view part = len == 0 ? word : withSpaces;
  appendText(texts, part);
  len += std::ssize(part);
}

void newComment(Ledger& ledger, int64_t splitPos, std::string_view text) {
  assert(ledger.comments.empty() || ledger.comments.back().splitPos < splitPos);
  mapAheadEvery(ledger.comments);
  ledger.comments.push_back(
      {.splitPos = splitPos, .pos = std::ssize(ledger.texts), .len = std::ssize(text)});
  appendText(ledger.texts, text);
}

// The last split's comment to append to, made when its first word comes. It is always the
// last text written.
SplitComment& lastSplitComment(Ledger& ledger) {
  const int64_t splitPos = std::ssize(ledger.splits) - 1;
  if (ledger.comments.empty() || ledger.comments.back().splitPos != splitPos)
    newComment(ledger, splitPos, "");
  SplitComment& c = ledger.comments.back();
  assert(c.pos + c.len == std::ssize(ledger.texts));
  return c;
}

// Every split enters the ledger here, counted for the indexes that afterLoop builds: a
// counting pass over the splits at the end cost a tenth of the parse.
// The split is written in place, its amount still unset.
Split& addSplit(Parse& p, SplitTarget target) {
  if (std::ssize(p.ledger.splits) == p.halfway) {
    for (const AccountRun& r : p.accountRuns) p.accountCountsAtHalf.push_back(r.splitCount);
    p.kindCountsAtHalf = p.kindSplitCounts;
  }
  ++p.accountRuns[target.accountPos].splitCount;
  if (target.kindPos >= 0) ++p.kindSplitCounts[target.kindPos];
  mapAheadEvery(p.ledger.splits);
  Split& split = p.ledger.splits.emplace_back();
  split.traPos = std::ssize(p.ledger.transactions) - 1;
  split.accountPos = target.accountPos;
  split.kindPos = target.kindPos;
  p.lastSplitLine = p.lineNr;
  return split;
}

void touchAccount(Parse& p, int64_t accountPos) {
  AccountRun& r = p.accountRuns[accountPos];
  const int64_t traPos = std::ssize(p.ledger.transactions) - 1;
  if (r.traPos == traPos) return;
  r.traPos = traPos;
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
    raiseValue("Money amounts do not add up to zero");
  }
}

// A transaction dated with the word of the one before: nothing to read or check.
void procSameDatum(Parse& p) {
  assert(!p.ledger.transactions.empty());
  finishTransaction(p);
  mapAheadEvery(p.ledger.transactions);
  p.ledger.transactions.push_back(
      {.date = p.lastDate, .descriptionPos = std::ssize(p.ledger.texts), .descriptionLen = 0});
  p.traFirstSplit = std::ssize(p.ledger.splits);
}

void procDatum(Parse& p, std::string_view word) {
  Ledger& ledger = p.ledger;
  if (word.empty() || word[0] < '0' || word[0] > '9') raiseValue("Unexpected string: $1", {word});
  finishTransaction(p);
  Datum date = p.lastDate;
  if (ledger.transactions.empty() || word != p.lastDateWord) {
    const DateRead d = parseDate(word, ledger.dateFormat, 0);
    if (d.consumed < std::ssize(word)) raiseValue("Date wrong: $1", {word});
    if (!ledger.transactions.empty() && d.date < ledger.transactions.back().date)
      raiseValue("Date earlier than in the previous transaction");
    date = d.date;
    p.lastDateWord = word;
    p.lastDate = date;
  }
  mapAheadEvery(ledger.transactions);
  ledger.transactions.push_back(
      {.date = date, .descriptionPos = std::ssize(ledger.texts), .descriptionLen = 0});
  p.traFirstSplit = std::ssize(ledger.splits);
}

SplitTarget toSplit(Parse& p, const Token& tok, std::string_view raw, std::string_view word,
                    size_t rawHash) {
  Ledger& ledger = p.ledger;
  const bool opening = ledger.transactions.size() < 2;
  if (!opening) {
    if (const int64_t* known = p.knownWords.find(raw, rawHash); known != nullptr)
      return p.wordTargets[size_t(*known)];
  }
  const AccountWord aw = splitAccountWord(raw);
  if (!aw.ok) raiseValue("Account name wrong: $1", {word});
  if (ledger.transactions.empty()) raiseValue("Open a transaction line first");
  int64_t accountPos = -1;
  int64_t kindPos = -1;
  const int64_t* account = p.accountByName.find(aw.account);
  const int64_t* kind = aw.kind.empty() ? nullptr : p.kindByName.find(aw.kind);
  if (ledger.transactions.size() == 1) {
    if (aw.kind.empty()) {
      if (account != nullptr) raiseValue("Account is a duplicate: $1", {word});
      accountPos = std::ssize(ledger.accounts);
      ledger.accounts.push_back({.name = std::string(aw.account),
                                 .description = {},
                                 .indent = tok.spaces,
                                 .typeChar = '-'});
      p.accountByName.insert(aw.account, accountPos);
      p.accountHasKinds.push_back(0);
      p.accountRuns.emplace_back();
    } else {
      if (account == nullptr) raiseValue("Account not declared: $1", {word});
      accountPos = *account;
      if (kind == nullptr) {
        kindPos = std::ssize(ledger.kinds);
        ledger.kinds.push_back(
            {.accountPos = accountPos, .name = std::string(aw.kind), .description = {}});
        p.kindByName.insert(aw.kind, kindPos);
        p.kindRuns.emplace_back();
        p.kindSplitCounts.push_back(0);
        p.accountHasKinds[accountPos] = 1;
      } else if (ledger.kinds[*kind].accountPos == accountPos) {
        kindPos = *kind;  // one more opening holding of the kind
      } else {
        raiseValue("Kind is a duplicate: $1", {word});
      }
    }
  } else {
    if (account == nullptr)
      raiseValue("Account not present in the opening transaction: $1", {word});
    accountPos = *account;
    if (!aw.kind.empty()) {
      if (kind == nullptr || ledger.kinds[*kind].accountPos != accountPos)
        raiseValue("Kind not declared in the opening transaction: $1", {word});
      kindPos = *kind;
    } else if (p.accountHasKinds[accountPos]) {
      raiseValue("Inventory account needs a kind (accountName:kindName): $1", {word});
    }
    p.knownWords.insert(raw, std::ssize(p.wordTargets));
    p.wordTargets.push_back({.accountPos = accountPos, .kindPos = kindPos});
  }
  return {.accountPos = accountPos, .kindPos = kindPos};
}

void procMoney(Parse& p, std::string_view word) {
  Ledger& ledger = p.ledger;
  assert(!ledger.splits.empty());
  const int64_t splitPos = std::ssize(ledger.splits) - 1;
  Split& split = ledger.splits.back();
  const bool hasAt = word.find('@') != std::string_view::npos;
  if (split.kindPos < 0 && hasAt) raiseValue("At sign ('@') unexpected here: $1", {word});
  if (split.kindPos >= 0 && !hasAt) raiseValue("Expected numItems@unitPrice: $1", {word});
  constexpr std::string_view revalue = "revalue@";
  Money money = moneyUnset;
  if (word == "close@") {
    const Items n = runItems(p.kindRuns, split.kindPos);
    if (n > 0)
      money = moneyNeg(runRemoveItems(p.kindRuns, ledger.slots, splitPos, split.kindPos, n));
  } else if (word == "close") {
    const AccountRun& r = p.accountRuns[split.accountPos];
    if (r.runOverflow) raiseOverflow();
    money = moneyNeg(r.run);
  } else if (word.starts_with(revalue)) {
    const Money price = parseMoney(word.substr(revalue.size()), ledger.decimalComma);
    if (price <= 0) raiseValue("New price must be positive");
    const int64_t kindPos = split.kindPos;
    const Items n = runItems(p.kindRuns, kindPos);
    split.money = moneyNeg(runRemoveItems(p.kindRuns, ledger.slots, splitPos, kindPos, n));
    newComment(ledger, splitPos, "Revalue: take all out");
    const Money back = runAddItems(p.kindRuns, ledger.slots, splitPos + 1, kindPos, n, price);
    newComment(ledger, splitPos + 1, "Revalue: put all back with a new price");
    moneySet(p, split);
    Split& putBack = addSplit(p, {.accountPos = split.accountPos, .kindPos = kindPos});
    putBack.money = back;
    moneySet(p, putBack);
    return;
  } else if (!hasAt) {
    if (!quickMoney(word, ledger.decimalComma, money))
      money = parseMoneyMul(word, ledger.decimalComma);
  } else {
    const ItemsAtPrice ip = splitMoney(word, ledger.decimalComma);
    if (ip.items < 0) {
      const Items out = moneyNeg(ip.items);
      if (out > runItems(p.kindRuns, split.kindPos)) raiseValue("Inventory cannot go negative!");
      money = moneyNeg(runRemoveItems(p.kindRuns, ledger.slots, splitPos, split.kindPos, out));
    } else {
      money =
          runAddItems(p.kindRuns, ledger.slots, splitPos, split.kindPos, ip.items, ip.unitPrice);
    }
  }
  split.money = money;
  moneySet(p, split);
}

void procTag(Parse& p, std::string_view word, bool onSplitLine) {
  Ledger& ledger = p.ledger;
  if (word.size() != 2) raiseValue("Tag unknown: '$1'", {word});
  const char letter = word[1];
  if (accountTypeName(letter).empty())
    raiseValue("Wrong account-type tag: @$1", {std::string_view(&letter, 1)});
  if (!onSplitLine || ledger.transactions.size() >= 2)
    raiseValue("Account-type tag valid only in the split lines of the opening transaction: $1",
               {word});
  assert(!ledger.accounts.empty());
  ledger.accounts.back().typeChar = letter;
}

// Runs work(0) here and work(1) on a second thread where one can be had, else after it.
template <typename Work>
void inTwoThreads(const Work& work) {
  std::exception_ptr failed;
  std::thread helper;
  try {
    helper = std::thread([&work, &failed] {
      try {
        work(1);
      } catch (...) {
        failed = std::current_exception();  // handed to this thread
      }
    });
  } catch (const std::system_error&) {
    // no second thread: both parts in turn
  }
  const bool shared = helper.joinable();
  {
    const struct Joiner {  // also when work(0) fails
      std::thread& t;
      ~Joiner() {
        if (t.joinable()) t.join();
      }
    } joiner{helper};
    work(0);
  }
  if (!shared) work(1);
  if (failed) std::rethrow_exception(failed);
}

// The index of each account's and each kind's splits. The walk over the splits is read
// from memory at its full speed by one thread: two share it where the counts at the halfway
// split are known, each filling its own places, the second from those counts on.
void indexSplits(Ledger& ledger, const Parse& p) {
  const int64_t n = std::ssize(ledger.splits);
  const bool halves = !p.accountCountsAtHalf.empty() && p.halfway >= n / 5;
  const int64_t half = halves ? p.halfway : n;
  ledger.accountSplits.assign(ledger.accounts.size(), {});
  ledger.kindSplits.assign(ledger.kinds.size(), {});
  ledger.kindSplitFirstSlot.assign(ledger.kinds.size(), {});
  // The room, every other account and kind in each thread: mapped, then its positions set.
  const auto size = [&](int part) {
    for (size_t a = size_t(part); a < ledger.accountSplits.size(); a += 2) {
      std::vector<int64_t>& list = ledger.accountSplits[a];
      const auto count = size_t(p.accountRuns[a].splitCount);
      list.reserve(count);
      mapAhead(list, count);
      list.resize(count);
    }
    for (size_t k = size_t(part); k < ledger.kindSplits.size(); k += 2) {
      ledger.kindSplits[k].resize(size_t(p.kindSplitCounts[k]));
      ledger.kindSplitFirstSlot[k].resize(size_t(p.kindSplitCounts[k]));
    }
  };
  const auto fill = [&](int part) {
    const int64_t from = part == 0 ? 0 : half;
    const int64_t to = part == 0 ? half : n;
    std::vector<int64_t> at(ledger.accounts.size(), 0);
    std::vector<int64_t> kindAt(ledger.kinds.size(), 0);
    if (part == 1) {
      at = p.accountCountsAtHalf;
      kindAt = p.kindCountsAtHalf;
    }
    // the slot records are in split order
    const auto before = [](const Slot& s, int64_t i) { return s.splitPos < i; };
    size_t slot = size_t(
        std::lower_bound(ledger.slots.begin(), ledger.slots.end(), from, before) -
        ledger.slots.begin());
    for (int64_t i = from; i < to; ++i) {
      const Split& s = ledger.splits[i];
      ledger.accountSplits[s.accountPos][at[s.accountPos]++] = i;
      if (s.kindPos >= 0) {
        while (slot < ledger.slots.size() && ledger.slots[slot].splitPos < i) ++slot;
        ledger.kindSplits[s.kindPos][kindAt[s.kindPos]] = i;
        ledger.kindSplitFirstSlot[s.kindPos][kindAt[s.kindPos]++] = int64_t(slot);
      }
    }
  };
  if (halves) {
    inTwoThreads(size);
    inTwoThreads(fill);
  } else {
    size(0);
    size(1);
    fill(0);
  }
}

void afterLoop(Parse& p) {
  Ledger& ledger = p.ledger;
  finishTransaction(p);
  for (const SplitComment& c : ledger.comments) {
    const Split& s = ledger.splits[c.splitPos];
    if (s.traPos != 0) break;
    const std::string_view comment = splitComment(ledger, c.splitPos);
    if (comment.empty()) continue;
    if (s.kindPos < 0) {
      ledger.accounts[s.accountPos].description = comment;
    } else {
      setKindDescription(ledger.kinds, s.kindPos, comment);
    }
  }
  ledger.itemsWhole = std::none_of(ledger.slots.begin(), ledger.slots.end(),
                                   [](const Slot& s) { return s.numItems % 100 != 0; });

  // The running sums are the balances, unless one of them overflowed: then they are added
  // again, to fail where the first one does.
  if (std::any_of(p.accountRuns.begin(), p.accountRuns.end(),
                  [](const AccountRun& r) { return r.runOverflow; })) {
    std::vector<Money> balances(ledger.accounts.size(), 0);
    for (Split& s : ledger.splits) {
      balances[s.accountPos] = moneyAdd(balances[s.accountPos], s.money);
      s.balance = balances[s.accountPos];
    }
  }
  indexSplits(ledger, p);
  ledger.moneyWhole = p.cents == 0;
  if (ledger.transactions.empty() || ledger.splits.empty())
    ledger.errorText = "No transactions/splits found in file.";
}

// What one classified token does to the parse; before is the type of the token before it.
inline void takeToken(Parse& p, std::string_view text, const Token& tok, TokenType type,
                      TokenType before, bool hasFormFeed) {
  Ledger& ledger = p.ledger;
  if (type == TokenType::NewLine) {
    ++p.lineNr;
    p.onSplitLine = false;
    return;
  }
  if (type == TokenType::CommentStart) return;
  const std::string_view raw = text.substr(tok.pos + tok.spaces, tok.len - tok.spaces);
  const std::string_view word = shown(raw, p.buf, hasFormFeed);
  switch (type) {
    case TokenType::Datum:
      procDatum(p, word);
      break;
    case TokenType::Description:
      appendWord(ledger.texts, ledger.transactions.back().descriptionLen, word,
                 shown(text.substr(tok.pos, tok.len), p.bufSpaces, hasFormFeed));
      break;
    case TokenType::Account:
      addSplit(p, toSplit(p, tok, raw, word, NameIndex::hash(raw)));
      p.onSplitLine = true;
      break;
    case TokenType::Amount:
      procMoney(p, word);
      break;
    case TokenType::Comment:
      if (p.onSplitLine)
        appendWord(ledger.texts, lastSplitComment(ledger).len, word,
                   shown(text.substr(tok.pos, tok.len), p.bufSpaces, hasFormFeed));
      break;
    case TokenType::Tag:
      procTag(p, word, p.onSplitLine);
      break;
    default:
      raiseValue("Unexpedted token type: $1", {tokenTypeName(before)});
  }
}

// The token loop over one piece of the text. A piece that is not the last ends with a line
// feed, so no token spans two pieces and the state between them is the parse's.
void parsePiece(Parse& p, std::string_view text) {
  int64_t pos = 0;
  TokenType prevType = p.prevType;
  const bool hasFormFeed = text.find(formFeed) != std::string_view::npos;
  while (true) {
    const Token tok = nextToken(text, pos);
    pos += tok.len;
    TokenType type = tok.tokType;
    if (type == TokenType::Str) type = classify(text, tok, prevType, p.datumCount);
    if (type == TokenType::End) break;
    const TokenType before = prevType;
    prevType = type;
    takeToken(p, text, tok, type, before, hasFormFeed);
  }
  p.prevType = prevType;  // for the next piece; after an error nothing reads it
}

// A piece with its tokens classified ahead, by a second thread while the parse works on
// the pieces before it. Positions fit 32 bits and runs of blanks 16: pieces are cut far
// shorter, and one that is not (a line of gigabytes, blanks by the ten thousand) is handed
// over unscanned.
struct ScannedToken {
  Money money = 0;  // see quick; for NewLine, the line ends in a row
  uint32_t pos = 0;
  uint32_t len = 0;
  // Most lines are a plain split line: blanks, account word, blanks, amount, line feed. Such
  // a line is one record, its Account token, with what can be read of it without the parse.
  uint32_t amountPos = 0;  // the amount word
  uint32_t amountLen = 0;
  uint32_t wordId = 0;  // the account word's number among the words met, or noWord
  uint16_t spaces = 0;
  TokenType type = TokenType::Unset;
  uint8_t flags = 0;  // of a plain split line; endsLine also of a date line or a comment
  static constexpr uint8_t splitLine = 1;   // the record is one
  static constexpr uint8_t quick = 2;       // money is the amount, read as quickMoney reads it
  static constexpr uint8_t endsLine = 4;    // else a comment follows
  static constexpr uint8_t noAmount = 8;    // the amount is left out
  static constexpr uint8_t sameDate = 16;   // a Datum with the word of the Datum before
  static constexpr uint8_t described = 32;  // a Datum with its description at amountPos
  static constexpr uint32_t noWord = UINT32_MAX;
};
static_assert(sizeof(ScannedToken) == 32);

// Where the blanks are and where words end (a blank, line feed or semicolon), one bit per
// byte: a word's end is then found with a shift and a count instead of a look at each of its
// bytes. Past the text no byte is blank and every one ends a word, so no search runs beyond.
class ByteMasks {
 public:
  // Returns whether the text holds a form feed.
  bool build(std::string_view text) {
    const size_t full = text.size() / 64;
    blank.resize(full + 2);
    stop.resize(full + 2);
    blank[full + 1] = 0;  // for the windows that reach past the text
    stop[full + 1] = ~uint64_t(0);
    const char* p = text.data();
    size_t w = 0;
    bool formFeeds = false;
#if defined(__SSE2__)
    __m128i feeds = _mm_setzero_si128();
    for (; w < full; ++w, p += 64) {
      uint64_t b = 0;
      uint64_t e = 0;
      for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        feeds = _mm_or_si128(feeds, _mm_cmpeq_epi8(v, _mm_set1_epi8(formFeed)));
        const auto bk = uint64_t(unsigned(blanksIn(v)));
        const auto ek = uint64_t(unsigned(_mm_movemask_epi8(_mm_or_si128(
            _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8(';'))))));
        b |= bk << (16 * k);
        e |= (bk | ek) << (16 * k);
      }
      blank[w] = b;
      stop[w] = e;
    }
    formFeeds = _mm_movemask_epi8(feeds) != 0;
#endif
    for (; w <= full; ++w, p += 64) {
      const size_t count = w < full ? 64 : text.size() % 64;
      uint64_t b = 0;
      uint64_t e = ~uint64_t(0);
      for (size_t k = 0; k < count; ++k) {
        if (isBlank(p[k])) b |= uint64_t(1) << k;
        if (!endsWord(p[k])) e &= ~(uint64_t(1) << k);
        formFeeds |= p[k] == formFeed;
      }
      blank[w] = b;
      stop[w] = e;
    }
    return formFeeds;
  }
  // The first position from i on that is not a blank; i at most the text's size.
  int64_t blanks(int64_t i) const {
    return firstSet(i, [this](size_t w) { return ~blank[w]; });
  }
  // The first position from i on that ends a word.
  int64_t word(int64_t i) const {
    return firstSet(i, [this](size_t w) { return stop[w]; });
  }
  // The first line feed or semicolon from i on.
  int64_t lineOrComment(int64_t i) const {
    return firstSet(i, [this](size_t w) { return stop[w] & ~blank[w]; });
  }
  // The 64 positions from i on (i at most the text's size), bit 0 for i: those that are not
  // blank, and those that end a word. Most lines fit one such window, and within it each
  // next position is a count of zero bits.
  void window(int64_t i, uint64_t& notBlank, uint64_t& ends) const {
    const size_t w = size_t(i) >> 6;
    const unsigned s = unsigned(i & 63);
    // Shifted in two steps, so that s = 0 takes nothing from the next word.
    notBlank = ~((blank[w] >> s) | ((blank[w + 1] << 1) << (63 - s)));
    ends = (stop[w] >> s) | ((stop[w + 1] << 1) << (63 - s));
  }

 private:
  // The first position from i on whose bit is set in bits(word of 64 positions).
  template <typename Bits>
  static int64_t firstSet(int64_t i, const Bits& bits) {
    size_t w = size_t(i) >> 6;
    uint64_t x = bits(w) & (~uint64_t(0) << (i & 63));
    while (x == 0) x = bits(++w);
    return int64_t(w * 64 + size_t(__builtin_ctzll(x)));
  }
  std::vector<uint64_t> blank;
  std::vector<uint64_t> stop;
};

// The records of a piece. A record is added on almost every line: here the check for room
// is inlined into the scanner's loop, where the library's emplace_back stayed a call.
class TokenList {
 public:
  ScannedToken& emplace_back() {
    if (count == room) grow();
    ScannedToken& t = items[count++];
    t = ScannedToken{};
    return t;
  }
  void reserve(size_t n) {
    if (n > room) grow(n);
  }
  void clear() { count = 0; }
  bool empty() const { return count == 0; }
  ScannedToken& back() { return items[count - 1]; }
  const ScannedToken* begin() const { return items.get(); }
  const ScannedToken* end() const { return items.get() + count; }

 private:
  [[gnu::noinline]] void grow(size_t least = 0) {
    const size_t n = std::max({least, 2 * room, size_t(64)});
    auto more = std::make_unique_for_overwrite<ScannedToken[]>(n);
    std::copy(begin(), end(), more.get());
    items = std::move(more);
    room = n;
  }
  std::unique_ptr<ScannedToken[]> items;
  size_t count = 0;
  size_t room = 0;
};

struct ScannedPiece {
  std::string text;
  TokenList tokens;
  ByteMasks masks;
  bool scanned = false;
  bool hasFormFeed = false;
};

// Account words numbered in the order they are first met: the parse then finds what a word
// names by its number, without reading or hashing it again. Nearly every word is at most 16
// bytes: such a word is held as two machine words and found by one hash and one compare.
class WordNumbers {
 public:
  // The number of text's len bytes from at (len > 0), or noWord once numbers run out.
  uint32_t number(std::string_view text, size_t at, size_t len) {
    if (len > 16) return longNumber(text.substr(at, len));
    uint64_t a = 0;
    uint64_t b = 0;
    if (std::endian::native == std::endian::little && at + 16 <= text.size()) {
      std::memcpy(&a, text.data() + at, 8);
      std::memcpy(&b, text.data() + at + 8, 8);
      if (len < 8) {
        a &= (uint64_t(1) << (8 * len)) - 1;
        b = 0;
      } else if (len < 16) {
        b &= (uint64_t(1) << (8 * (len - 8))) - 1;
      }
    } else {
      char buf[16] = {};
      std::memcpy(buf, text.data() + at, len);
      std::memcpy(&a, buf, 8);
      std::memcpy(&b, buf + 8, 8);
    }
    if (2 * (used + 1) > entries.size()) grow();
    const size_t mask = entries.size() - 1;
    for (size_t i = slotOf(a, b, len);; i = (i + 1) & mask) {
      Entry& e = entries[i];
      if (e.a == a && e.b == b && e.len == len) return e.number;
      if (e.len == 0) {
        if (count >= ScannedToken::noWord) return ScannedToken::noWord;
        e = {.a = a, .b = b, .len = uint32_t(len), .number = count++};
        ++used;
        return e.number;
      }
    }
  }

 private:
  struct Entry {
    uint64_t a = 0;
    uint64_t b = 0;
    uint32_t len = 0;  // 0: free
    uint32_t number = 0;
  };
  // The top bits of a product depend on every bit of the word: names that share their first
  // bytes ("Bank1", "Bank2") part there.
  size_t slotOf(uint64_t a, uint64_t b, size_t len) const {
    return size_t(((a ^ len) * 0x9e3779b97f4a7c15ull + b * 0xff51afd7ed558ccdull) >> (64 - bits));
  }
  [[gnu::noinline]] void grow() {
    std::vector<Entry> old(std::max<size_t>(256, 2 * entries.size()));
    old.swap(entries);
    bits = std::countr_zero(entries.size());
    const size_t mask = entries.size() - 1;
    for (const Entry& e : old) {
      if (e.len == 0) continue;
      size_t i = slotOf(e.a, e.b, e.len);
      while (entries[i].len != 0) i = (i + 1) & mask;
      entries[i] = e;
    }
  }
  uint32_t longNumber(std::string_view word) {
    if (const int64_t* n = longWords.find(word); n != nullptr) return uint32_t(*n);
    if (count >= ScannedToken::noWord) return ScannedToken::noWord;
    longWords.insert(word, count);
    return count++;
  }
  std::vector<Entry> entries;
  int bits = 0;  // entries.size() is 1 << bits
  size_t used = 0;
  NameIndex longWords;
  uint32_t count = 0;
};

// The scanning's state from one piece to the next.
struct ScanState {
  TokenType prevType = TokenType::NewLine;
  int64_t datumCount = 0;
  std::string lastDate;  // the word of the last Datum, once there is one
  WordNumbers words;
};

// A plain split line at the start of a line: its record appended, or false for any other
// line. The record is written in place: built aside and copied, it cost a stall per line.
bool scanSplitLine(std::string_view text, const ByteMasks& masks, int64_t pos,
                   bool decimalComma, ScanState& state, TokenList& tokens,
                   int64_t& next) {
  const char* d = text.data();
  const int64_t n = std::ssize(text);
  int64_t account = 0;
  int64_t accountEnd = 0;
  int64_t amount = 0;
  int64_t amountEnd = 0;
  int64_t lineEnd = 0;
  uint64_t notBlank = 0;
  uint64_t ends = 0;
  masks.window(pos, notBlank, ends);
  // Within the window every position of the line is found at once, not one after the other:
  // the starts and ends of its words, and its first line feed or semicolon.
  const uint64_t word = notBlank & ~ends;
  const uint64_t starts = word & ~(word << 1);
  const uint64_t stops = ~word & (word << 1);
  const uint64_t second = starts & (starts - 1);
  const int a = std::countr_zero(notBlank);
  const int ae = std::countr_zero(stops);
  const int m = std::countr_zero(second);
  const int me = std::countr_zero(stops & (stops - 1));
  const int third = std::countr_zero(second & (second - 1));
  const int le = std::countr_zero(notBlank & ends);
  if (le < 64 && (m > le || third > le)) {
    account = pos + a;
    accountEnd = pos + ae;
    amount = pos + std::min(m, le);  // the amount, or the line's end when it has none
    amountEnd = pos + me;
    lineEnd = pos + le;
  } else {  // a line longer than the window
    account = masks.blanks(pos);
    accountEnd = masks.word(account);
    amount = masks.blanks(accountEnd);
    amountEnd = masks.word(amount);
    lineEnd = masks.blanks(amountEnd);
  }
  if (account == pos || account == n || d[account] == ';' || d[account] == '\n') return false;
  if (account - pos > UINT16_MAX) return false;
  if (amount == n) return false;
  // A line without an amount ends at the account word, or goes on with a comment.
  const bool hasAmount = d[amount] != ';' && d[amount] != '\n';
  if (!hasAmount) lineEnd = amount;
  if (hasAmount && (lineEnd == n || (d[lineEnd] != '\n' && d[lineEnd] != ';'))) return false;
  ScannedToken& out = tokens.emplace_back();
  out.pos = uint32_t(pos);
  out.len = uint32_t(accountEnd - pos);
  out.spaces = uint16_t(account - pos);
  out.type = TokenType::Account;
  out.wordId = state.words.number(text, size_t(account), size_t(accountEnd - account));
  bool quick = false;
  if (hasAmount) {
    out.amountPos = uint32_t(amount);
    out.amountLen = uint32_t(amountEnd - amount);
    quick = quickMoney(text.substr(size_t(amount), size_t(amountEnd - amount)), decimalComma,
                       out.money);
  }
  out.flags = uint8_t(ScannedToken::splitLine | (quick ? ScannedToken::quick : 0) |
                      (hasAmount ? 0 : ScannedToken::noAmount) |
                      (d[lineEnd] == '\n' ? ScannedToken::endsLine : 0));
  // A comment is left to the tokens, from its semicolon on.
  next = d[lineEnd] == '\n' ? lineEnd + 1 : lineEnd;
  return true;
}

// The scanning thread's part: the tokens of one piece, classified as parsePiece would.
void scanPiece(ScannedPiece& piece, bool decimalComma, ScanState& state) {
  piece.tokens.clear();
  piece.scanned = piece.text.size() < (size_t(1) << 32) - 1;
  const std::string_view text = piece.text;
  if (piece.scanned) piece.tokens.reserve(text.size() / 12 + 16);
  piece.hasFormFeed = piece.masks.build(text);
  const ByteMasks& masks = piece.masks;
  TokenType& prevType = state.prevType;
  // Words shown with their form feeds are the token path's business.
  bool lines = piece.scanned && !piece.hasFormFeed;
  int64_t pos = 0;
  bool splitLine = false;  // the line has its Account token
  bool adjacent = false;   // the last token read is the last record
  while (true) {
    if (lines && prevType == TokenType::NewLine &&
        scanSplitLine(text, masks, pos, decimalComma, state, piece.tokens, pos)) {
      adjacent = false;
      const uint8_t flags = piece.tokens.back().flags;
      if (!(flags & ScannedToken::endsLine)) {
        prevType = (flags & ScannedToken::noAmount) ? TokenType::Account : TokenType::Amount;
        splitLine = true;
      }
      continue;
    }
    // Past the opening transaction no comment holds a tag: the words of a description, or of
    // a split line's comment up to another semicolon, are one run to find whole, and other
    // comments are passed over.
    if (lines && state.datumCount >= 2) {
      if (prevType == TokenType::Datum || (prevType == TokenType::CommentStart && splitLine)) {
        const int64_t first = masks.blanks(pos);
        if (first < std::ssize(text) && first - pos <= UINT16_MAX && text[first] != ';' &&
            text[first] != '\n') {
          int64_t end = masks.lineOrComment(first);
          while (isBlank(text[end - 1])) --end;
          ScannedToken* out = nullptr;
          if (prevType == TokenType::Datum && !piece.tokens.empty() &&
              piece.tokens.back().type == TokenType::Datum) {
            out = &piece.tokens.back();
            // The date line's record carries its description.
            out->amountPos = uint32_t(first);
            out->amountLen = uint32_t(end - first);
            out->flags |= ScannedToken::described;
            prevType = TokenType::Description;
            adjacent = false;
          } else {
            out = &piece.tokens.emplace_back();
            out->pos = uint32_t(pos);
            out->len = uint32_t(end - pos);
            out->spaces = uint16_t(first - pos);
            out->type = prevType == TokenType::Datum ? TokenType::Description : TokenType::Comment;
            prevType = out->type;
            adjacent = true;
          }
          pos = end;
          // And the line's end, most often right after.
          const int64_t after = masks.blanks(end);
          if (after < std::ssize(text) && text[after] == '\n') {
            out->flags |= ScannedToken::endsLine;
            pos = after + 1;
            prevType = TokenType::NewLine;
            splitLine = false;
            adjacent = false;
          }
          continue;
        }
      } else if (prevType == TokenType::CommentStart) {
        pos = masks.lineOrComment(pos);
        prevType = TokenType::Comment;
        adjacent = false;
        continue;
      }
    }
    const Token tok = scanToken(text, pos, masks);
    pos += tok.len;
    TokenType type = tok.tokType;
    if (type == TokenType::Str) type = classify(text, tok, prevType, state.datumCount);
    if (type == TokenType::End) break;
    prevType = type;
    bool sameDate = false;
    if (type == TokenType::Datum) {
      const std::string_view date = text.substr(tok.pos + tok.spaces, tok.len - tok.spaces);
      sameDate = state.datumCount > 1 && date == state.lastDate;
      if (!sameDate) state.lastDate = date;
    }
    // An unscanned piece is still read through, for the state of the pieces after it.
    if (piece.scanned && tok.spaces > UINT16_MAX) {
      piece.scanned = false;
      piece.tokens.clear();
      lines = false;
    }
    if (!piece.scanned) continue;
    // What the parse does nothing with is left out: the start of a comment, and comment
    // words outside a split line. Line ends in a row are one record that counts them.
    if (type == TokenType::CommentStart || (type == TokenType::Comment && !splitLine)) {
      adjacent = false;
      continue;
    }
    if (type == TokenType::Account) splitLine = true;
    if (type == TokenType::NewLine) {
      splitLine = false;
      if (!piece.tokens.empty() && piece.tokens.back().type == TokenType::NewLine) {
        ++piece.tokens.back().money;
        continue;
      }
    }
    // Words of a description, or of a comment without a semicolon between them, are added
    // to the text each with the blanks before it: a run of them is one word, blanks inside.
    if (adjacent && (type == TokenType::Description || type == TokenType::Comment) &&
        piece.tokens.back().type == type) {
      ScannedToken& run = piece.tokens.back();
      run.len = uint32_t(tok.pos + tok.len - run.pos);
      continue;
    }
    adjacent = true;
    ScannedToken& out = piece.tokens.emplace_back();
    out.money = 1;  // line ends: their count
    out.pos = uint32_t(tok.pos);
    out.len = uint32_t(tok.len);
    out.spaces = uint16_t(tok.spaces);
    out.type = type;
    if (sameDate) out.flags = ScannedToken::sameDate;
  }
}

// What a scanned split line's account word names: after the opening transaction a word
// means what it meant the first time.
SplitTarget splitTarget(Parse& p, const Token& tok, std::string_view raw, uint32_t wordId) {
  const bool opening = p.ledger.transactions.size() < 2;
  if (!opening && wordId < p.wordIdTargets.size() && p.wordIdTargets[wordId].accountPos >= 0)
    return p.wordIdTargets[wordId];
  const SplitTarget target = toSplit(p, tok, raw, raw, NameIndex::hash(raw));
  if (!opening && wordId != ScannedToken::noWord) {
    if (wordId >= p.wordIdTargets.size())
      p.wordIdTargets.resize(std::max<size_t>(wordId + 1, 2 * p.wordIdTargets.size()));
    p.wordIdTargets[wordId] = target;
  }
  return target;
}

// A plain split line as its Account, Amount and NewLine tokens would take it.
void takeSplitLine(Parse& p, std::string_view text, const ScannedToken& t) {
  const Token tok{.tokType = TokenType::Account, .len = t.len, .spaces = t.spaces, .pos = t.pos};
  const std::string_view raw = text.substr(t.pos + t.spaces, t.len - t.spaces);
  Split& split = addSplit(p, splitTarget(p, tok, raw, t.wordId));
  p.onSplitLine = true;
  if (t.flags & ScannedToken::noAmount) {
    // to be filled when the transaction is complete
  } else if ((t.flags & ScannedToken::quick) && split.kindPos < 0) {
    split.money = t.money;  // what procMoney makes of a plain amount
    moneySet(p, split);
  } else {
    procMoney(p, text.substr(t.amountPos, t.amountLen));
  }
  if (t.flags & ScannedToken::endsLine) {
    ++p.lineNr;
    p.onSplitLine = false;
  }
}

// The parse's part of a piece that scanPiece has seen.
void parseScanned(Parse& p, const ScannedPiece& piece) {
  if (!piece.scanned) {
    parsePiece(p, piece.text);
    return;
  }
  const std::string_view text = piece.text;
  TokenType before = p.prevType;
  for (const ScannedToken& t : piece.tokens) {
    if (t.flags & ScannedToken::splitLine) {
      takeSplitLine(p, text, t);
      before = (t.flags & ScannedToken::endsLine) ? TokenType::NewLine
               : (t.flags & ScannedToken::noAmount) ? TokenType::Account
                                                    : TokenType::Amount;
      continue;
    }
    const Token tok{.tokType = t.type, .len = t.len, .spaces = t.spaces, .pos = t.pos};
    if (t.type == TokenType::NewLine) {
      p.lineNr += t.money;
      p.onSplitLine = false;
      before = TokenType::NewLine;
      continue;
    }
    if (t.type == TokenType::Datum) ++p.datumCount;  // as classifyToken counts them
    if (t.flags & ScannedToken::sameDate) {
      procSameDatum(p);
    } else {
      takeToken(p, text, tok, t.type, before, piece.hasFormFeed);
    }
    before = t.type;
    if (t.flags & ScannedToken::described) {
      const std::string_view words = text.substr(t.amountPos, t.amountLen);
      appendWord(p.ledger.texts, p.ledger.transactions.back().descriptionLen, words, words);
      before = TokenType::Description;
    }
    if (t.flags & ScannedToken::endsLine) {
      ++p.lineNr;
      p.onSplitLine = false;
      before = TokenType::NewLine;
    }
  }
  p.prevType = before;
}

// The pieces of a text, read and scanned by a second thread a few pieces ahead of the parse
// (or, where no thread can be started, by the parse itself when it asks).
class PieceSource {
 public:
  PieceSource(const std::function<bool(std::string&)>& next, bool decimalComma)
      : next(next), decimalComma(decimalComma) {
    try {
      scanner = std::thread([this] { run(); });
    } catch (const std::system_error&) {
      // No thread to be had (a process limit): the same work, in turn.
    }
  }
  PieceSource(const PieceSource&) = delete;
  PieceSource& operator=(const PieceSource&) = delete;
  ~PieceSource() {
    if (!scanner.joinable()) return;
    {
      const std::lock_guard lock(mutex);
      stopped = true;
    }
    changed.notify_all();
    scanner.join();
  }

  // The next piece, nullptr after the last; raises what the scanning raised.
  std::unique_ptr<ScannedPiece> take() {
    if (!scanner.joinable()) {
      if (finished) return nullptr;
      std::unique_ptr<ScannedPiece> piece = spare();
      if (next(piece->text)) {
        scanPiece(*piece, decimalComma, state);
        return piece;
      }
      finished = true;
      return nullptr;
    }
    for (;;) {
      {
        const std::lock_guard lock(mutex);
        if (!ready.empty()) {
          std::unique_ptr<ScannedPiece> piece = std::move(ready.front());
          ready.pop_front();
          changed.notify_all();
          return piece;
        }
        if (finished) {
          if (error) std::rethrow_exception(error);
          return nullptr;
        }
      }
      // Nothing scanned yet: rather than wait, read the next pieces for the scanning thread,
      // which then only scans them. Its share is the larger, and this one would be idle.
      if (readAhead()) continue;
      std::unique_lock lock(mutex);
      changed.wait(lock, [this] { return !ready.empty() || finished; });
    }
  }

  // A piece the parse is done with, to be filled again.
  void giveBack(std::unique_ptr<ScannedPiece> piece) {
    const std::lock_guard lock(mutex);
    spares.push_back(std::move(piece));
  }

 private:
  static constexpr size_t ahead = 3;  // pieces scanned and waiting

  std::unique_ptr<ScannedPiece> spare() {
    {
      const std::lock_guard lock(mutex);
      if (!spares.empty()) {
        std::unique_ptr<ScannedPiece> piece = std::move(spares.back());
        spares.pop_back();
        return piece;
      }
    }
    return std::make_unique<ScannedPiece>();
  }

  // A piece read for the scanning thread, unless enough wait or the text is read through.
  bool readAhead() {
    const std::lock_guard lock(readMutex);
    if (readDone || unscanned.size() >= ahead) return false;
    std::unique_ptr<ScannedPiece> piece = spare();
    if (!next(piece->text)) {
      readDone = true;
      return false;
    }
    unscanned.push_back(std::move(piece));
    return true;
  }

  // The next piece to scan: the first that the parse read, else the next one read here; the
  // lock keeps them in the text's order. nullptr after the last.
  std::unique_ptr<ScannedPiece> nextToScan() {
    const std::lock_guard lock(readMutex);
    if (!unscanned.empty()) {
      std::unique_ptr<ScannedPiece> piece = std::move(unscanned.front());
      unscanned.pop_front();
      return piece;
    }
    if (readDone) return nullptr;
    std::unique_ptr<ScannedPiece> piece = spare();
    if (next(piece->text)) return piece;
    readDone = true;
    return nullptr;
  }

  void run() {
    try {
      for (;;) {
        std::unique_ptr<ScannedPiece> piece = nextToScan();
        if (!piece) break;
        scanPiece(*piece, decimalComma, state);
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return ready.size() < ahead || stopped; });
        if (stopped) return;
        ready.push_back(std::move(piece));
        changed.notify_all();
      }
    } catch (...) {
      const std::lock_guard lock(mutex);
      error = std::current_exception();
    }
    {
      const std::lock_guard lock(mutex);
      finished = true;
    }
    changed.notify_all();
  }

  const std::function<bool(std::string&)>& next;
  const bool decimalComma;
  ScanState state;  // the scanner's own, one piece to the next
  // Taken before mutex where both are held.
  std::mutex readMutex;
  std::deque<std::unique_ptr<ScannedPiece>> unscanned;  // read by the parse, in order
  bool readDone = false;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::unique_ptr<ScannedPiece>> ready;
  std::vector<std::unique_ptr<ScannedPiece>> spares;
  bool finished = false;
  bool stopped = false;
  std::exception_ptr error;
  std::thread scanner;  // last: started once everything above exists
};

bool isContentError(const Error& e) {
  return e.kind == ErrorKind::Value || e.kind == ErrorKind::Overflow;
}

}  // namespace

void parseLedger(Ledger& ledger, std::string_view text, int64_t& lineNr) {
  Parse p(ledger, lineNr);
  try {
    lineNr = 1;
    reserveLists(ledger, text, std::ssize(text));
    p.halfway = int64_t(ledger.splits.capacity() * 2 / 5);
    parsePiece(p, text);
    afterLoop(p);
  } catch (const Error& e) {
    if (!isContentError(e)) throw;
    ledger.errorText = errorFrame(text, 1, lineNr, e.message);
  }
}

void parseLedgerPieces(Ledger& ledger, const std::function<bool(std::string&)>& next,
                       int64_t sizeHint, int64_t& lineNr) {
  struct Kept {
    int64_t firstLine = 1;
    std::unique_ptr<ScannedPiece> piece;
  };
  std::vector<Kept> kept;  // a few pieces: the last one and any an error report could quote
  const auto countLines = [](std::string_view s) {
    int64_t n = 0;
    for (size_t at = s.find('\n'); at != std::string_view::npos; at = s.find('\n', at + 1)) ++n;
    return n;
  };
  PieceSource source(next, ledger.decimalComma);
  Parse p(ledger, lineNr);
  lineNr = 1;
  try {
    bool first = true;
    while (std::unique_ptr<ScannedPiece> piece = source.take()) {
      if (first) {
        reserveLists(ledger, piece->text, std::max<int64_t>(sizeHint, std::ssize(piece->text)));
        p.halfway = int64_t(ledger.splits.capacity() * 2 / 5);
        first = false;
      }
      kept.push_back({.firstLine = lineNr, .piece = std::move(piece)});
      parseScanned(p, *kept.back().piece);
      // An error quotes three lines before and two after its line: the current line, or the
      // last split line (the transaction that finishTransaction checks). Only the pieces
      // those lines can fall in are kept; the last one is still being read.
      const auto quotable = [&](size_t k) {
        const int64_t first = kept[k].firstLine;
        const int64_t last = kept[k + 1].firstLine - 1;
        const bool nearSplit = p.lastSplitLine > 0 && first <= p.lastSplitLine + 2 &&
                               last >= p.lastSplitLine - 3;
        return nearSplit || last >= lineNr - 3;
      };
      size_t kept2 = 0;
      for (size_t k = 0; k + 1 < kept.size(); ++k) {
        if (quotable(k)) {
          kept[kept2++] = std::move(kept[k]);
        } else {
          kept[k].piece->tokens.clear();
          source.giveBack(std::move(kept[k].piece));
        }
      }
      kept[kept2++] = std::move(kept.back());
      kept.resize(kept2);
    }
    afterLoop(p);
  } catch (const Error& e) {
    if (!isContentError(e)) throw;
    // Read on to the two lines after the failing one that the report shows.
    int64_t end = kept.empty() ? 1 : kept.back().firstLine + countLines(kept.back().piece->text);
    while (end <= lineNr + 2) {
      std::unique_ptr<ScannedPiece> piece = source.take();
      if (!piece) break;
      kept.push_back({.firstLine = end, .piece = std::move(piece)});
      end += countLines(kept.back().piece->text);
    }
    // The pieces around the failing line follow each other; others kept may lie before.
    const int64_t from = std::max<int64_t>(1, lineNr - 3);
    size_t k = 0;
    while (k + 1 < kept.size() && kept[k + 1].firstLine <= from) ++k;
    std::string text;
    for (size_t i = k; i < kept.size(); ++i) text += kept[i].piece->text;
    ledger.errorText =
        errorFrame(text, kept.empty() ? 1 : kept[k].firstLine, lineNr, e.message);
  }
}

}  // namespace murex
