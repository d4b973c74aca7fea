#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/tab_page.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrel {

class Dialogs;
class Functions;
class KestrelCfg;
class NameField;

// The Options tab. Every change of a field goes into the current configuration at once and
// marks it changed; a limit field whose text is no limit shows an error and stores nothing.
class OptionsTab : public TabPage {
  Q_OBJECT

 public:
  OptionsTab(Functions& fn, Dialogs& dialogs, QWidget* parent = nullptr);

  // Shows the configuration; the configuration stays as it was, its changed mark included.
  void Fill(const KestrelCfg& cfg);
  // Returns true iff every limit field holds a limit.
  bool Valid() const;

 signals:
  void ValidityChanged(bool valid);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using TextGet = std::function<std::string(const KestrelCfg&)>;
  using TextSet = std::function<void(KestrelCfg&, const std::string&)>;
  using NumberGet = std::function<std::int32_t(const KestrelCfg&)>;
  using NumberSet = std::function<void(KestrelCfg&, std::int32_t)>;
  struct NumberField {
    QLineEdit* field;
    QLabel* error;
    NumberGet get;
  };

  NameField* AddTextField(const char* name, const char* caption, const char* tip, int help,
                          const TextSet& set);
  QLineEdit* AddNumberField(const char* name, const char* caption, const char* tip, int help,
                            NumberGet get, const NumberSet& set);
  void Stored();
  void WarnEmptyQuarantine();
  void BrowseForQuarantineFolder();
  // The purge field serves a quarantine folder only.
  void ShowPurgeUse();

  Functions& fn_;
  Dialogs& dialogs_;
  QGridLayout* grid_;
  NameField* user_name_;
  NameField* company_;
  NameField* prefix_token_;
  NameField* quarantine_folder_;
  QPushButton* browse_quarantine_;
  std::vector<NumberField> numbers_;
  QLineEdit* purge_after_days_;
  QCheckBox* display_all_messages_;
  // Set while Fill shows the configuration: those changes are no edits.
  bool filling_ = false;
  bool valid_ = true;
  int rows_ = 0;
};

}  // namespace kestrel
