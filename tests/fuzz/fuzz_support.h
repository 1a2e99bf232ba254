// What the fuzz targets share: a failed promise stops the run where the fuzzer sees it, and
// the program's own errors are expected answers to bad input.
#pragma once

#include "error.h"

namespace murex {

inline void check(bool ok) {
  if (!ok) __builtin_trap();
}

// Runs f; an Error it raises is a refusal of the input, not a finding.
template <typename F>
void tolerant(F f) {
  try {
    f();
  } catch (const Error&) {
  }
}

}  // namespace murex
