#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fs/sys.h"
#include "journal/journal_entry.h"

namespace kestrel::journal {

// Reads a journal's text. Every line that cannot be understood (cut short, edited, from a
// newer format, out of order) is left out and named in problems; what it says is never
// guessed at.
RunJournal ParseJournal(std::string_view text);

// The lines ParseJournal reads, each ending in its line break; paths are escaped here.
// The first two lines of a journal.
std::string HeaderLines(DateTime start, std::string_view config, std::string_view quarantine);
// file carries what the writer found of it: fs (of its folder), owners and a link's detail.
std::string IntentLine(std::uint64_t entry, const FileFacts& file, const IncludeFacts& include);
// identity: format 2's fields of what is at placed, each already led by its Tab.
std::string MovedLine(std::uint64_t entry, DateTime when, std::string_view placed,
                      std::string_view info, std::string_view identity = {});
std::string FailedLine(std::uint64_t entry, DateTime when, int err);
std::string RestoringLine(std::uint64_t entry, DateTime when);
std::string RestoredLine(std::uint64_t entry, DateTime when, std::string_view to);
std::string UnrestoredLine(std::uint64_t entry, DateTime when, int err);
std::string EndLine(DateTime when);

// Reads the journal of the run name in folder. Returns 0 or the errno of reading it.
int ReadJournal(Sys& sys, const std::string& folder, const std::string& name, RunJournal& out);

}  // namespace kestrel::journal
