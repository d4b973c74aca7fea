#pragma once

#include <cstddef>
#include <string_view>

namespace kestrel {

// The length (1 to 4) of the well-formed UTF-8 sequence at s[i], or 0 when the byte there
// starts none (overlong forms, surrogates and code points above U+10FFFF included); i < size.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i);

}  // namespace kestrel
