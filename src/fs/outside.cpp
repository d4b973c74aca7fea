#include "fs/outside.h"

namespace kestrel {

std::string ProgramFile(const Outside& outside, const std::string& name) {
  const std::string& folder = outside.program_folder;
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string JournalFolder(const Outside& outside) {
  return ProgramFile(outside, "journal");
}

}  // namespace kestrel
