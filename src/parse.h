// parse: the one parse that builds a Ledger from ledger text and checks every rule of the
// file: dates in order, declared accounts and kinds, amounts that add up, tags, close,
// close@ and revalue@; and the quick look at a text's last transaction line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ledger.h"

namespace murex {

// Fills a fresh ledger from normalised text, as one piece of parseLedgerPieces; a content
// error becomes errorText (the framed report "Error at line N: message" with context).
// lineNr ends as the last line counted.
void parseLedger(Ledger& ledger, std::string_view text, int64_t& lineNr);
// The same parse over a text that arrives in pieces, so that a large file is never held
// whole: next(piece) puts the next piece into piece (a buffer to reuse) and answers false
// at the end. Every piece but the last ends with a line feed. Only the pieces that an error
// report could quote are kept. sizeHint, the expected text size, sizes the lists once.
// Opening reads only up to the second transaction line: the accounts and kinds, their
// descriptions and the opening transaction, checked as in a whole parse.
enum class ParseScope { Whole, Opening };
void parseLedgerPieces(Ledger& ledger, const std::function<bool(std::string&)>& next,
                       int64_t sizeHint, int64_t& lineNr, ParseScope scope = ParseScope::Whole);
// The date of the last transaction line of text (whole lines, normalised), as the parse
// reads a date word; 0 when text holds none or that word is no date the parse would take.
Datum lastTransactionDate(std::string_view text, std::string_view dateFormat);

}  // namespace murex
