// Loading and saving a configuration: the keys of a ".ksp" file.
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <vector>

#include "config/kestrel_cfg.h"
#include "config/profile_store.h"
#include "config/value_forms.h"
#include "fs/outside.h"
#include "fs/sys.h"
#include "platform/error.h"
#include "platform/escape_text.h"

namespace kestrel {
namespace {

constexpr const char* kGeneral = "General";
constexpr const char* kOptions = "Options";

// The flags of the folder lists have no default: a missing one fails the load like bad text.
bool ReadFlag(ProfileStore& store, const char* section, const std::string& key) {
  const std::string text = store.GetString(section, key, "");
  if (auto flag = ToBoolean(text)) return *flag;
  throw KsError(kAppError,
                "Type mismatch: [" + std::string(section) + "] " + key +
                    " is not True or False: \"" + EscapeControlBytes(text) + "\"",
                "KestrelCfg.Load");
}

// Appends each entry once it is complete, so that a failure keeps the entries before it.
void ReadList(ProfileStore& store, const char* section, const char* count_key, const char* subs_key,
              FolderList& list) {
  const std::int32_t count = store.GetLong(section, count_key, 0);
  for (std::int32_t i = 1; i <= count; ++i) {
    Folder2Clean entry;
    entry.FolderName(store.GetString(section, "Folder" + FolderIndex(i), ""));
    entry.IncludeSubs(ReadFlag(store, section, subs_key + FolderIndex(i)));
    list.push_back(std::move(entry));
  }
}

// A file that exists but has none of a configuration's sections, or holds a NUL byte, was
// never one: reading it as defaults would scan every local disk.
void RefuseForeignFile(ProfileStore& store, const std::string& path) {
  if (!store.Exists()) return;
  const bool sections = store.HasSection(kGeneral) || store.HasSection(kOptions) ||
                        store.HasSection("Include") || store.HasSection("Exclude");
  if (sections && !store.HasNulByte()) return;
  throw KsError(kAppError,
                EscapeControlBytes(path) + " is not a Kestrel configuration (" +
                    (sections ? "it holds a NUL byte"
                              : "it has no General, Options, Include or "
                                "Exclude section") +
                    ")",
                "KestrelCfg.Load");
}

// Without the count a load would read no include folder and a run would clean every local disk;
// Save always writes it, so only a truncated or hand-written file lacks it. A missing file is a
// new one.
bool HasIncludeCount(Sys& sys, ProfileStore& store, const std::string& filename) {
  struct stat st;
  if (sys.FStatAt(AT_FDCWD, filename.c_str(), &st, 0) != 0 && errno == ENOENT) return true;
  return store.GetString("Include", "IncludeFoldersCount", "0") ==
         store.GetString("Include", "IncludeFoldersCount", "1");
}

using Writes = std::vector<std::array<std::string, 3>>;

void ListWrites(Writes& writes, const char* section, const char* count_key, const char* subs_key,
                const FolderList& list) {
  writes.push_back({section, count_key, std::to_string(list.size())});
  std::int32_t i = 0;
  for (const auto& entry : list) {
    ++i;
    writes.push_back({section, "Folder" + FolderIndex(i), entry.FolderName()});
    writes.push_back({section, subs_key + FolderIndex(i), BooleanText(entry.IncludeSubs())});
  }
}

}  // namespace

void KestrelCfg::RefuseUnreadFile(const char* source) const {
  if (file_unreadable_) {
    throw KsError(kAppError,
                  "The configuration file was not read, so it is not written: " +
                      EscapeControlBytes(filename_),
                  source);
  }
}

bool KestrelCfg::Load() {
  try {
    ProfileStore store(outside_.sys);
    store.SetFileName(filename_);
    file_unreadable_ = true;
    store.Read();
    RefuseForeignFile(store, filename_);
    file_unreadable_ = false;

    const std::string yesterday = outside_.clock.Now().AddDays(-1).ToIsoText();
    const std::string run_date = store.GetString(kGeneral, "RunDate", yesterday);
    const std::optional<DateTime> date = DateTime::ParseConfigText(run_date);
    if (!date) {
      throw KsError(kAppError,
                    "Type mismatch: [General] RunDate is not a date: \"" +
                        EscapeControlBytes(run_date) + "\"",
                    "KestrelCfg.Load");
    }
    last_run_date_ = *date;

    UserName(store.GetString(kOptions, "Name", ""));
    Company(store.GetString(kOptions, "Company", ""));
    PrefixToken(store.GetString(kOptions, "PrefixToken", ""));
    QuarantineFolder(store.GetString(kOptions, "QuarantineFolder", ""));
    MaxMBPerRun(store.GetLong(kOptions, "MaxMB2Remove", 50));
    MaxErrorsPerRun(store.GetLong(kOptions, "MaxErrorsPerRun", 10));
    MaxKBLogFile(store.GetLong(kOptions, "MaxKBLog", 512));
    const std::string all = store.GetString(kOptions, "DisplayAllMessages", "True");
    const std::optional<bool> display_all = ToBoolean(all);
    if (!display_all) {
      throw KsError(kAppError,
                    "Type mismatch: [Options] DisplayAllMessages is not True or False: \"" +
                        EscapeControlBytes(all) + "\"",
                    "KestrelCfg.Load");
    }
    DisplayAllMessages(*display_all);
    PurgeAfterDays(store.GetLong(kOptions, "PurgeAfterDays", 0));

    // Refused like an unreadable file: the window does not open it, nor write over it.
    file_unreadable_ = !HasIncludeCount(outside_.sys, store, filename_);
    if (file_unreadable_) {
      throw KsError(kAppError,
                    "The configuration file cannot be used: " + EscapeControlBytes(filename_) +
                        " (it has no Include section)",
                    "KestrelCfg.Load");
    }
    IncludeFolders(std::make_shared<FolderList>());
    ReadList(store, "Include", "IncludeFoldersCount", "IncludeSubs", IncludeFolders());
    ExcludeFolders(std::make_shared<FolderList>());
    ReadList(store, "Exclude", "ExcludeFoldersCount", "ExcludeSubs", ExcludeFolders());
    IsDirty(false);
    return true;
  } catch (...) {
    ReportHandled(outside_.reporter, "KestrelCfg.Load", std::current_exception());
    return false;
  }
}

bool KestrelCfg::Save() {
  ProfileStore store(outside_.sys);
  try {
    RefuseUnreadFile("KestrelCfg.Save");
    store.SetFileName(filename_);
    Writes writes = {
        {kGeneral, "Version", VersionText()},
        {kOptions, "Name", UserName()},
        {kOptions, "Company", Company()},
        {kOptions, "PrefixToken", PrefixToken()},
        {kOptions, "QuarantineFolder", QuarantineFolder()},
        {kOptions, "MaxMB2Remove", std::to_string(MaxMBPerRun())},
        {kOptions, "MaxErrorsPerRun", std::to_string(MaxErrorsPerRun())},
        {kOptions, "MaxKBLog", std::to_string(MaxKBLogFile())},
        {kOptions, "DisplayAllMessages", BooleanText(DisplayAllMessages())},
        // Written even at 0: Save removes no key, so a skipped 0 would leave an old value.
        {kOptions, "PurgeAfterDays", std::to_string(PurgeAfterDays())},
    };
    ListWrites(writes, "Include", "IncludeFoldersCount", "IncludeSubs", IncludeFolders());
    ListWrites(writes, "Exclude", "ExcludeFoldersCount", "ExcludeSubs", ExcludeFolders());
    // Refuse before the first write, so that a value the file cannot hold leaves it as it was.
    for (const auto& [section, key, value] : writes)
      ProfileStore::CheckStorable(section, key, value);
    store.BeginBatch();
    for (const auto& [section, key, value] : writes) store.PutString(section, key, value);
    store.Commit();
    IsDirty(false);
    return true;
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    // The keys written before the failure stay written.
    try {
      store.Commit();
    } catch (...) {
    }
    ReportHandled(outside_.reporter, "KestrelCfg.Save", error);
    return false;
  }
}

void KestrelCfg::LastRunDate(DateTime date) {
  if (!filename_.empty()) RefuseUnreadFile("KestrelCfg.LastRunDate");
  last_run_date_ = date;
  if (filename_.empty()) return;
  ProfileStore store(outside_.sys);
  store.SetFileName(filename_);
  store.PutString(kGeneral, "RunDate", date.ToIsoText());
}

}  // namespace kestrel
