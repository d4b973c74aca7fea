#include "fs/trust.h"

#include <pwd.h>
#include <sys/stat.h>

#include <vector>

#include "fs/dir_entries.h"
#include "fs/fd.h"
#include "platform/escape_text.h"

namespace kestrel {
namespace {

// The name chown takes; the number when the user has no passwd entry.
std::string UserName(uid_t uid) {
  std::vector<char> buf(16384);
  struct passwd pw;
  struct passwd* found = nullptr;
  if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return std::to_string(uid);
}

}  // namespace

std::string Distrust(const std::string& path, const struct stat& st, uid_t uid) {
  if (st.st_uid == uid && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0) return {};
  const std::string user = UserName(uid), shown = EscapeControlBytes(path);
  return shown + " must belong to " + user + " and be writable by no one else (chown " + user +
         " " + shown + "; chmod go-w " + shown + ")";
}

std::string ProgramFolderDistrust(Sys& sys, const std::string& program_folder) {
  const uid_t uid = sys.GetUid();
  struct stat st;
  // The user named the program folder, so a link to it is followed.
  if (sys.FStatAt(AT_FDCWD, program_folder.c_str(), &st, 0) != 0) return {};
  if (std::string why = Distrust(program_folder, st, uid); !why.empty()) return why;
  const std::string folder =
      program_folder + (program_folder.ends_with('/') ? "journal" : "/journal");
  // Missing, or not a folder: nothing is read from it, and the journal's own code says why.
  Fd dir(sys, sys.OpenAt(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY, 0));
  if (!dir.Valid()) return {};
  if (sys.FStat(dir.Get(), &st) != 0) return {};
  if (std::string why = Distrust(folder, st, uid); !why.empty()) return why;
  std::vector<std::string> names;
  ForEachEntry(sys, dir.Get(),
               [&](const char* name, size_t len, unsigned char) { names.emplace_back(name, len); });
  for (const std::string& name : names) {
    // A link is judged by what a reader following it would read.
    if (sys.FStatAt(dir.Get(), name.c_str(), &st, 0) != 0) continue;
    if (std::string why = Distrust(folder + "/" + name, st, uid); !why.empty()) return why;
  }
  return {};
}

}  // namespace kestrel
