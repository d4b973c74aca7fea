#pragma once

#include <string>
#include <vector>

namespace kestrel {

class Functions;
struct LongCommandLine;
struct PreviewResult;

// kestrel --preview CONFIG: prints what a run would do now; moves and writes nothing, not even
// the log. Returns the status the run would end with, or 2 for a bad command line.
int PreviewCommand(Functions& fn, const LongCommandLine& line);
// The lines of a preview, as text or JSON Lines, the summary last.
std::vector<std::string> PreviewLines(const PreviewResult& result, bool json);

}  // namespace kestrel
