#pragma once

#include <string>

namespace kestrel {

class Functions;

// Prints every file moved, message and warning of the runs that follow as one JSON object per
// line on standard output.
void PrintRunJson(Functions& fn);
// The summary object of the last run: its files moved, their bytes, the expired files it did
// not move, the folders scanned and the exit status.
std::string RunSummaryJson(Functions& fn, int status);

}  // namespace kestrel
