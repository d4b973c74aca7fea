#pragma once

#include <optional>
#include <stdexcept>
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

// A mistake on a long command line, in the words shown after "kestrel: ".
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Prints a usage mistake as two lines on standard error, the message and a pointer to --help;
// returns the exit status 2.
int ReportUsageError(const std::string& message);

// The whole number in text when it lies in [min, max]; else throws UsageError naming the
// option, what the number counts (unit) and the range.
long long WholeNumberOption(std::string_view option, const std::string& text, const char* unit,
                            long long min, long long max);

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
// options. An option followed by another option takes the next operand as its value, so
// "--restore --rename last" is "--restore last --rename". Throws UsageError for an unknown
// option, a missing value or a value given to a flag.
LongCommandLine ParseLongCommandLine(const std::vector<std::string>& args);
// The --help text: the usage text, then one line per long option.
std::string LongUsageText();
// The path made absolute against the current folder (unchanged when that fails).
std::string AbsolutePath(const std::string& path);
// The file a configuration operand names, resolved as "-s:" resolves it: "-s:NAME" or NAME;
// relative to the program folder unless absolute. Empty when no name is left.
std::string ConfigOperandPath(const std::string& program_folder, const std::string& operand);

}  // namespace kestrel
