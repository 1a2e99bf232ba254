// template: text with named $placeholders filled in one pass. Knows nothing of ledgers.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace murex {

// Fills $name placeholders in one pass (longest name wins); values are inserted literally.
using NamedValues = std::initializer_list<std::pair<std::string_view, std::string_view>>;
std::string fillNamed(std::string_view pattern, NamedValues values);

}  // namespace murex
