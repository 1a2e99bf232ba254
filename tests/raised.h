// The message of the Error that a test's call raises.
#pragma once

#include <string>

#include "error.h"

namespace murex {

// The message of the Error that f raises, or "" when it raises none.
template <typename F>
std::string raisedMessage(F f) {
  try {
    f();
  } catch (const Error& e) {
    return e.message;
  }
  return "";
}

}  // namespace murex
