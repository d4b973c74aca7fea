#pragma once

#include <string>
#include <string_view>

#include "fs/names.h"  // JoinPath

namespace kestrel {

// ASCII case folding; other bytes compare exactly.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// Position of the first occurrence of needle in text ignoring ASCII case, or npos.
size_t FindIgnoreCase(std::string_view text, std::string_view needle);
// The path without trailing "/", except that "/" itself stays.
std::string_view WithoutTrailingSlash(std::string_view path);

}  // namespace kestrel
