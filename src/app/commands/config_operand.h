#pragma once

namespace kestrel {

class Functions;
struct LongCommandLine;

// Loads the configuration that the line's one operand names (resolved as -s: resolves it)
// into fn's current configuration. Reports a missing or surplus operand, a file that is not
// there and a load that failed part-way under "Functions.Main"; returns true iff it loaded.
bool LoadConfigOperand(Functions& fn, const LongCommandLine& line);

}  // namespace kestrel
