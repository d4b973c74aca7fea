#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// The text of a FreeDesktop.org .trashinfo for an entry that came from original (any bytes but
// NUL, percent-encoded) and was deleted at deletion_date ("YYYY-MM-DDThh:mm:ss").
std::string TrashInfoText(std::string_view original, std::string_view deletion_date);

// The path the first Path key of the [Trash Info] group names, percent-decoded; nullopt when
// there is none or it is empty.
std::optional<std::string> TrashInfoPath(std::string_view text);

}  // namespace kestrel
