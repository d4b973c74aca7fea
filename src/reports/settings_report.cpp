#include "reports/settings_report.h"

#include <memory>

#include "config/kestrel_cfg.h"
#include "platform/error.h"
#include "platform/escape_text.h"
#include "reports/print_procedure.h"
#include "reports/text_box_writer.h"

namespace kestrel {
namespace {

constexpr const char* kRule = "-----------------------------------------";

// Values start in column 25 so that they line up in a fixed-pitch font; each is escaped so
// that it stays on its line.
std::string Field(const std::string& label, const std::string& value) {
  std::string line = " " + label + ":";
  line.resize(24, ' ');
  return line + EscapeControlBytes(value);
}

void WriteFolders(IReportWriter& writer, const FolderList& folders) {
  for (const Folder2Clean& folder : folders) {
    writer.WriteLn((folder.IncludeSubs() ? " * " : "   ") +
                   EscapeControlBytes(folder.FolderName()));
  }
}

}  // namespace

std::string SettingsReport::Description() const {
  return "This report displays the logging option, Prefix Token designation, "
         "the Quarantine Folder designation and all other inputs. "
         "Lists folders to search and folders to exclude that are in the "
         "IncludeFolders and ExcludeFolders collections, respectively.";
}

void SettingsReport::ViewReport(TextBox& disp) {
  TextBoxWriter writer;
  writer.Device(&disp);
  WriteReport(writer);
}

void SettingsReport::PrintReport(Dialogs& dialogs) {
  PrintThroughDialog(dialogs, clock_, [this](IReportWriter& writer) { WriteReport(writer); });
}

void SettingsReport::WriteReport(IReportWriter& writer) const {
  // Held for the whole report in case the window replaces the configuration meanwhile.
  const std::shared_ptr<KestrelCfg> cfg = current_;
  if (!cfg) throw KsError(kAppError, "There is no current configuration", "SettingsReport");

  writer.WriterHeader("Settings");
  writer.WriteLn(kRule);
  writer.WriteLn("Options");
  writer.WriteLn(kRule);
  writer.WriteLn(Field("User Name", cfg->UserName()));
  writer.WriteLn(Field("Company", cfg->Company()));
  writer.WriteLn(Field("Prefix Token", cfg->PrefixToken()));
  writer.WriteLn(Field("Quarantine Folder", cfg->QuarantineFolder().empty()
                                                ? "<Recycle Bin>"
                                                : cfg->QuarantineFolder()));
  writer.WriteLn(Field("Max MB Per Run", std::to_string(cfg->MaxMBPerRun())));
  writer.WriteLn(Field("Max Errors Per Run", std::to_string(cfg->MaxErrorsPerRun())));
  writer.WriteLn(Field("Max KB Log File Size", std::to_string(cfg->MaxKBLogFile())));
  writer.WriteLn(Field("Display All Messages", cfg->DisplayAllMessages() ? "Yes" : "No"));
  writer.WriteLn(Field("Purge After Days", cfg->PurgeAfterDays() > 0
                                               ? std::to_string(cfg->PurgeAfterDays())
                                               : std::to_string(cfg->PurgeAfterDays()) +
                                                     " (never)"));
  writer.WriteLn("");
  writer.WriteLn(kRule);
  writer.WriteLn("Include Folders  (* = include subfolders)");
  writer.WriteLn(kRule);
  WriteFolders(writer, cfg->IncludeFolders());
  writer.WriteLn("");
  writer.WriteLn(kRule);
  writer.WriteLn("Exclude Folders  (* = exclude subfolders)");
  writer.WriteLn(kRule);
  WriteFolders(writer, cfg->ExcludeFolders());
}

}  // namespace kestrel
