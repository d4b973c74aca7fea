#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrel {

// "True" or "False" in any letter case, or a number (0 is False, any other True);
// nullopt for any other text.
std::optional<bool> ToBoolean(const std::string& text);
// "True" or "False".
std::string BooleanText(bool value);
// The number of a folder entry in its key: "001" to "999", then the plain number.
std::string FolderIndex(std::int32_t index);
// The program's version, "2026.12.0".
std::string VersionText();

}  // namespace kestrel
