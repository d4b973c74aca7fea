#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/date_time.h"

// The text of journal lines: tab-separated fields, each escaped so that any bytes survive.
namespace kestrel::journal {

// Backslash, tab, line breaks, other control bytes and bytes that are not part of valid UTF-8
// become "\\", "\t", "\n", "\r" or "\xNN"; everything else stays as it is.
std::string Escape(std::string_view bytes);
// The bytes Escape was given; nullopt for a malformed escape.
std::optional<std::string> Unescape(std::string_view text);
// "\t" + field: the next field of a line being built.
std::string Tab(std::string_view field);
// The fields of one line (without its line break), split at tabs.
std::vector<std::string_view> SplitFields(std::string_view line);

// "YYYY-MM-DDTHH:MM:SS".
std::string IsoText(DateTime t);
std::optional<DateTime> ParseIso(std::string_view text);
// "YYYY-MM-DDTHH-MM-SS": a run's name, fit for a file name.
std::string RunNameFor(DateTime t);

// A decimal number that fits; nullopt for anything else (signs, blanks, overflow).
std::optional<std::uint64_t> ParseNumber(std::string_view text, int base = 10);

}  // namespace kestrel::journal
