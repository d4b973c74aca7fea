#pragma once

#include <string>

#include "platform/date_time.h"

namespace kestrel {

class Sys;

// What became of one file: renamed (or already so named), or refused with the reason.
struct MarkOutcome {
  bool ok = false;
  std::string new_path;  // when ok
  std::string reason;    // when not
};

// Renames what lies at the absolute path (a file, a folder, a link as a link) to carry the mark
// of token and date. Refuses an empty token, a name marked with another token, a name longer
// than its file system allows, a path from which a run would not read that date back, a date
// before the last-write stamp, and a taken name: it never overwrites. The stamp is kept.
// With rename false it only says what it would do.
MarkOutcome MarkFile(Sys& sys, const std::string& path, const std::string& token, DateTime date,
                     bool rename = true);
// Renames what lies at the absolute path to its name without the mark of token; never
// overwrites.
MarkOutcome UnmarkFile(Sys& sys, const std::string& path, const std::string& token);

}  // namespace kestrel
