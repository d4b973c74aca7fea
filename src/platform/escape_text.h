#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// A name as it is shown to a person or a script: "\n", "\r", "\t", other bytes below 0x20 and
// 0x7F as "\xNN", a backslash as "\\"; every other byte (UTF-8 or not) unchanged. The result
// holds no control byte, so a name can never start a line of its own.
std::string EscapeControlBytes(std::string_view name);
// The same, appended to out.
void AppendEscapedControlBytes(std::string& out, std::string_view name);

}  // namespace kestrel
