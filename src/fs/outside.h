#pragma once

#include <string>

#include "fs/sys.h"
#include "platform/clock.h"
#include "platform/error_reporter.h"

namespace kestrel {

// What lies outside the program: the clock, the error reporter, the file system and the folder
// that holds "default.ksp" and "Kestrel.log". Tests hand in doubles.
struct Outside {
  Clock& clock;
  ErrorReporter& reporter;
  Sys& sys;
  std::string program_folder;
};

// Path of a file in the program folder.
std::string ProgramFile(const Outside& outside, const std::string& name);
// The folder of the run journals.
std::string JournalFolder(const Outside& outside);

}  // namespace kestrel
