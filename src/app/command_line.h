#pragma once

#include <string>
#include <vector>

namespace kestrel {

class Functions;

// The five lines of the usage text, joined by line breaks.
std::string UsageText();
// The arguments after the program's name, joined by single blanks.
std::string CommandLineText(const std::vector<std::string>& args);
// Returns true iff the command-line text selects silent mode: it begins with "-s".
bool IsSilentCommandLine(const std::string& text);
// Sets the current configuration's Filename and the GUI-mode flag from the command-line text.
// "-s" + any character + name: silent mode; a relative name is taken in the program folder.
// Throws KsError "Silent option requires config file" when the name is missing.
void ProcessCommandLine(Functions& fn, const std::string& text);

}  // namespace kestrel
