#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/date_time.h"

namespace kestrel {

// Midnight of the day WHEN names: "Nd", "Nw", "Nm" or "Ny" counted from the date of now (a
// month or year later keeps the day, or the month's last when it has fewer), or "MM-DD-YYYY".
// Returns nullopt iff the text is none of these or the day falls outside years 1000-9999.
std::optional<DateTime> ParseWhen(std::string_view when, DateTime now);
// "MM-DD-YYYY".
std::string MarkDateText(DateTime date);
// The name carrying token + date: the date after the first occurrence of the token is replaced
// when it is a real date; else " " + token + date goes before the extension (the end of a
// folder's name; "a.tar.gz" keeps ".tar.gz").
std::string MarkedName(std::string_view name, std::string_view token, DateTime date, bool folder);
// The name without the first occurrence of token + date and the blank before it (or after it,
// when it begins the name). Returns nullopt iff the name carries no such mark, or nothing but
// an extension would be left of it.
std::optional<std::string> UnmarkedName(std::string_view name, std::string_view token);
// The token of a mark of another token that ends the name's stem (" other-MM-DD-YYYY"), empty
// when there is none.
std::string OtherMarkToken(std::string_view name, std::string_view token, bool folder);

}  // namespace kestrel
