#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// Where a file name's extension (its last ".xxx") starts; npos when it has none. A name that
// only starts with a dot (".bashrc") has none.
size_t ExtensionStart(std::string_view name);

// The nth free-name candidate: the name itself for 1, else "stem (n).ext".
std::string NumberedName(std::string_view name, int n);

// folder + "/" + name, without doubling a "/" that folder ends with.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace kestrel
