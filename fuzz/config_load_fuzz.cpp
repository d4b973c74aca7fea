// Loading a configuration: any file text is read without fault; a configuration that loads,
// saved (over the same file and into a new one) and loaded again, is the same configuration.
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "config/kestrel_cfg.h"
#include "fs/sys.h"
#include "fuzz_support.h"

namespace {

using kestrel::KestrelCfg;

auto Fields(const KestrelCfg& c) {
  const auto list = [](const kestrel::FolderList& l) {
    std::vector<std::pair<std::string, bool>> out;
    for (const auto& f : l) out.emplace_back(f.FolderName(), f.IncludeSubs());
    return out;
  };
  return std::make_tuple(c.LastRunDate(), c.UserName(), c.Company(), c.PrefixToken(),
                         c.QuarantineFolder(), c.MaxMBPerRun(), c.MaxErrorsPerRun(),
                         c.MaxKBLogFile(), c.DisplayAllMessages(), list(c.IncludeFolders()),
                         list(c.ExcludeFolders()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  static kestrel::fuzz::FixedClock clock;
  static kestrel::fuzz::CountingReporter reporter;
  static const std::string folder = kestrel::fuzz::ScratchFolder();
  if (size > 16384) return 0;
  kestrel::Functions fn(kestrel::Outside{clock, reporter, kestrel::RealSys(), folder});
  const std::string file = folder + "/load.ksp", fresh = folder + "/fresh.ksp";
  kestrel::fuzz::WriteWhole(file, kestrel::fuzz::Text(data, size));
  unlink(fresh.c_str());

  KestrelCfg& cfg = *fn.CurrentCfg;
  cfg.Filename(file);
  const int reports = reporter.count;
  if (!cfg.Load()) {
    FUZZ_CHECK(reporter.count == reports + 1, "a failed load is reported once");
    return 0;
  }
  const auto loaded = Fields(cfg);
  FUZZ_CHECK(cfg.Save(), "a loaded configuration saves over its file");
  cfg.Filename(fresh);
  FUZZ_CHECK(cfg.Save(), "a loaded configuration saves into a new file");
  for (const std::string& name : {file, fresh}) {
    KestrelCfg again(fn.Outside());
    again.Filename(name);
    FUZZ_CHECK(again.Load(), "a saved configuration loads");
    if (name == fresh) {
      // A new file has no RunDate: it reads as the day before now.
      FUZZ_CHECK(again.LastRunDate() == clock.Now().AddDays(-1), "a new file's run date");
      again.LastRunDate(cfg.LastRunDate());
    }
    FUZZ_CHECK(Fields(again) == loaded, "saved and loaded again, it is the same configuration");
  }
  return 0;
}
