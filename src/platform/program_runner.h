#pragma once

#include <string>
#include <vector>

namespace kestrel {

// The seam to other programs.
class ProgramRunner {
 public:
  virtual ~ProgramRunner() = default;
  // Runs argv[0] (looked up on PATH) with the arguments and waits for it; its standard output
  // and error go to output when given. Returns its exit status; 127 when it could not start.
  virtual int Run(const std::vector<std::string>& argv, std::string* output) = 0;
};

// Starts real processes.
ProgramRunner& RealProgramRunner();

}  // namespace kestrel
