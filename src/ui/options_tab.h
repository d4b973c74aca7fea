#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ui/tab_page.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace kestrel {

class Dialogs;
class Functions;
class KestrelCfg;

// The Options tab. Every change of a field goes into the current configuration at once and
// assigns its dirty flag: dirty iff the field now differs from what was stored before.
class OptionsTab : public TabPage {
 public:
  OptionsTab(Functions& fn, Dialogs& dialogs, QWidget* tab_control);

  // Shows the configuration; each field that changes stores its value again, which leaves the
  // configuration clean.
  void Fill(const KestrelCfg& cfg);
  // Copies every field into the configuration, as Save does before it writes.
  void CopyInto(KestrelCfg& cfg) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using TextGet = std::function<std::string(const KestrelCfg&)>;
  using TextSet = std::function<void(KestrelCfg&, const std::string&)>;
  using NumberGet = std::function<std::int32_t(const KestrelCfg&)>;
  using NumberSet = std::function<void(KestrelCfg&, std::int32_t)>;

  QLineEdit* AddTextField(const char* name, int row, int width, int help, TextGet get, TextSet set);
  QLineEdit* AddNumberField(const char* name, int row, int help, NumberGet get, NumberSet set);
  void AddLabel(const char* caption, int row);
  void WarnEmptyQuarantine();
  void BrowseForQuarantineFolder();

  Functions& fn_;
  Dialogs& dialogs_;
  QLineEdit* user_name_;
  QLineEdit* company_;
  QLineEdit* prefix_token_;
  QLineEdit* quarantine_folder_;
  QPushButton* browse_quarantine_;
  QLineEdit* max_mb_per_run_;
  QLineEdit* max_errors_per_run_;
  QLineEdit* max_kb_log_file_;
  QCheckBox* display_all_messages_;
};

}  // namespace kestrel
