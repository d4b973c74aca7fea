// The GNU long options: a line that parses, written back as "--name=value" options, "--" and
// its operands, parses to the same line; only known options come out; an operand names an
// absolute file or none.
#include <algorithm>

#include "app/command_line.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  // NUL bytes separate the arguments.
  std::vector<std::string> args(1);
  for (const char c : kestrel::fuzz::Text(data, size)) {
    if (c == '\0') {
      args.emplace_back();
    } else {
      args.back() += c;
    }
  }
  kestrel::LongCommandLine line;
  try {
    line = kestrel::ParseLongCommandLine(args);
  } catch (const kestrel::UsageError&) {
    return 0;  // a mistake on the command line, shown to the user as such
  }
  std::vector<std::string> written;
  for (const auto& option_value : line.options) {
    const std::string& name = option_value.first;
    const std::string& value = option_value.second;
    const auto& known = kestrel::LongOptions();
    const auto option = std::find_if(known.begin(), known.end(),
                                     [&](const kestrel::LongOption& o) { return name == o.name; });
    FUZZ_CHECK(option != known.end(), "only known options are read");
    FUZZ_CHECK(option->value_name != nullptr || value.empty(), "a flag carries no value");
    written.push_back("--" + name + (option->value_name != nullptr ? "=" + value : ""));
  }
  written.push_back("--");
  written.insert(written.end(), line.operands.begin(), line.operands.end());
  const kestrel::LongCommandLine again = kestrel::ParseLongCommandLine(written);
  FUZZ_CHECK(again.options == line.options && again.operands == line.operands,
             "a line written back parses to the same line");
  for (const std::string& operand : line.operands) {
    const std::string path = kestrel::ConfigOperandPath("/home/ann", operand);
    FUZZ_CHECK(path.empty() || path.front() == '/', "an operand names an absolute file or none");
  }
  return 0;
}
