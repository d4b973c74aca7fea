#pragma once

#include <string>
#include <vector>

namespace kestrel {

class Functions;
struct LongCommandLine;
struct Forecast;

// kestrel --forecast DAYS CONFIG: prints the marked files due now, due within DAYS days and
// never due; writes nothing. Returns 0, or 2 for a bad command line or configuration.
int ForecastCommand(Functions& fn, const LongCommandLine& line);
// The lines of a forecast, as text or JSON Lines, the summary last.
std::vector<std::string> ForecastLines(const Forecast& forecast, bool json);

}  // namespace kestrel
