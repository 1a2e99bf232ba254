// counteraccount: which account takes the other side of a statement's row: the first
// [match] rule whose words all occur in its description, else the account that the
// ledger's earlier transactions with the same description used most, else `unknown`.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "importrules.h"
#include "ledger.h"

namespace murex {

enum class ChosenBy { Rule, Ledger, Nothing };

struct Choice {
  int64_t accountPos = -1;
  ChosenBy by = ChosenBy::Nothing;
  int64_t rule = -1;    // in rules.match, when a rule decided
  int64_t traPos = -1;  // the latest transaction it was learned from
};

// A description as the ledger's lesson compares it: lower case, digits and punctuation
// dropped, blanks collapsed.
std::string normalizedDescription(std::string_view description);

class CounterAccounts {
 public:
  // Learns from the ledger's transactions of the rules' account with exactly two splits.
  CounterAccounts(const Ledger& ledger, const ImportRules& rules);
  Choice choose(std::string_view description) const;

 private:
  struct Used {
    int64_t accountPos = -1;
    int64_t count = 0;
    int64_t latestTraPos = -1;
  };
  const ImportRules& rules;
  std::unordered_map<std::string, std::vector<Used>> learned;
};

}  // namespace murex
