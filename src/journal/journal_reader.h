#pragma once

#include <string>
#include <string_view>

#include "fs/sys.h"
#include "journal/journal_entry.h"

namespace kestrel::journal {

// Reads a journal's text. Every line that cannot be understood (cut short, edited, from a
// newer format, out of order) is left out and named in problems; what it says is never
// guessed at.
RunJournal ParseJournal(std::string_view text);

// Reads the journal of the run name in folder. Returns 0 or the errno of reading it.
int ReadJournal(Sys& sys, const std::string& folder, const std::string& name, RunJournal& out);

}  // namespace kestrel::journal
