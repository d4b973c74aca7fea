// The configuration file reader: any file text is read without fault, and storing one value
// changes what that key reads to the value and what every other key reads not at all.
#include <array>

#include "config/profile_store.h"
#include "fs/sys.h"
#include "fuzz_support.h"
#include "platform/error.h"

namespace {

constexpr std::array<std::pair<const char*, const char*>, 9> kKeys = {{
    {"General", "Version"},
    {"General", "RunDate"},
    {"Options", "Name"},
    {"Options", "PrefixToken"},
    {"Options", "MaxMB2Remove"},
    {"Include", "IncludeFoldersCount"},
    {"Include", "Folder001"},
    {"Include", "IncludeSubs001"},
    {"Exclude", "Folder001"},
}};
constexpr const char* kMissing = "\x01missing";

std::array<std::string, kKeys.size()> ReadAll(const std::string& file) {
  kestrel::ProfileStore store(kestrel::RealSys());
  store.SetFileName(file);
  std::array<std::string, kKeys.size()> values;
  for (size_t i = 0; i < kKeys.size(); ++i)
    values[i] = store.GetString(kKeys[i].first, kKeys[i].second, kMissing);
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  const auto [text, value] = kestrel::fuzz::TwoTexts(kestrel::fuzz::Text(data, size));
  const std::string file = kestrel::fuzz::ScratchFolder() + "/store.ksp";
  kestrel::fuzz::WriteWhole(file, text);
  const auto before = ReadAll(file);

  kestrel::ProfileStore store(kestrel::RealSys());
  store.SetFileName(file);
  store.GetLong("Options", "MaxMB2Remove", 50);
  const size_t chosen = value.size() % kKeys.size();
  try {
    store.PutString(kKeys[chosen].first, kKeys[chosen].second, value);
  } catch (const kestrel::KsError&) {
    FUZZ_CHECK(value.find_first_of("\r\n") != std::string::npos,
               "only a value holding a line break is refused");
    return 0;
  }
  const auto after = ReadAll(file);
  for (size_t i = 0; i < kKeys.size(); ++i) {
    if (i == chosen) {
      FUZZ_CHECK(after[i] == value, "a stored value reads back as stored");
    } else {
      FUZZ_CHECK(after[i] == before[i], "storing one key leaves every other key as it was");
    }
  }
  return 0;
}
