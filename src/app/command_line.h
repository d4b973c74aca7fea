#pragma once

#include <string>
#include <string_view>
#include <utility>
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

// GNU long options, beyond the design's command line.
struct LongOption {
  const char* name;        // without the leading "--"
  const char* value_name;  // nullptr for an option that takes no value
  const char* help;        // one line for --help
};

// The known long options, in the order --help lists them.
const std::vector<LongOption>& LongOptions();

// A command line read as long options: the options in the order given, then the operands.
struct LongCommandLine {
  std::vector<std::pair<std::string, std::string>> options;  // name, value ("" for a flag)
  std::vector<std::string> operands;

  // Returns true iff the option was given.
  bool Has(std::string_view name) const;
  // The value of the option's last occurrence; empty when it was not given.
  std::string Value(std::string_view name) const;
};

// Returns true iff the command line is read as long options: its first argument starts with "--".
bool IsLongCommandLine(const std::vector<std::string>& args);
// Reads "--name", "--name=value" and "--name value" anywhere on the line; a lone "--" ends the
// options. Throws KsError for an unknown option, a missing value or a value given to a flag.
LongCommandLine ParseLongCommandLine(const std::vector<std::string>& args);
// The --help text: the usage text, then one line per long option.
std::string LongUsageText();
// The file a configuration operand names, resolved as "-s:" resolves it: "-s:NAME" or NAME;
// relative to the program folder unless absolute. Empty when no name is left.
std::string ConfigOperandPath(const std::string& program_folder, const std::string& operand);

}  // namespace kestrel
