#pragma once

#include <string_view>

namespace kestrel {

// Returns true iff the whole text fits one of the ";"-separated patterns ("*" any run, "?" one
// byte, ASCII case ignored; blanks before a pattern are skipped).
bool MatchesMask(std::string_view text, std::string_view mask);

}  // namespace kestrel
