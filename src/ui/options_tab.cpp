#include "ui/options_tab.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "config/kestrel_cfg.h"
#include "platform/dialogs.h"
#include "ui/help_window.h"
#include "ui/name_field.h"
#include "ui/numeric_text.h"
#include "ui/twips.h"
#include "ui/ui_support.h"
#include "ui/window_layout.h"

namespace kestrel {

namespace {
constexpr char kLimitError[] = "Enter 0 to 2147483647";
}  // namespace

OptionsTab::OptionsTab(Functions& fn, Dialogs& dialogs, QWidget* parent)
    : TabPage(parent), fn_(fn), dialogs_(dialogs), grid_(new QGridLayout(this)) {
  grid_->setColumnStretch(1, 1);
  user_name_ = AddTextField("txtUserName", "User &Name:", "The user this configuration is for", 11,
                            [](KestrelCfg& c, const std::string& v) { c.UserName(v); });
  company_ = AddTextField("txtCompany", "&Company:", "The user's company or organization", 12,
                          [](KestrelCfg& c, const std::string& v) { c.Company(v); });
  prefix_token_ = AddTextField(
      "txtPrefixToken", "Removal Date &Prefix:",
      "The text right before the removal date in a file name, as in \"budget del-10-31-2026.xls\"",
      13, [](KestrelCfg& c, const std::string& v) { c.PrefixToken(v); });
  quarantine_folder_ = AddTextField(
      "txtQuarantineFolder", "&Quarantine Folder:",
      "Where out of date files are moved; empty: the Trash. \"~\" stands for your home folder", 14,
      [](KestrelCfg& c, const std::string& v) { c.QuarantineFolder(ExpandHome(Trimmed(v))); });
  quarantine_folder_->installEventFilter(this);
  browse_quarantine_ = new QPushButton(QStringLiteral("..."));
  browse_quarantine_->setObjectName(QStringLiteral("cmdBrowseForQuarantineFolder"));
  browse_quarantine_->setToolTip(QStringLiteral("Choose the quarantine folder"));
  SetHelpContext(browse_quarantine_, 14);
  MakeCompact(*browse_quarantine_);
  grid_->addWidget(browse_quarantine_, 3, 2);
  connect(browse_quarantine_, &QPushButton::clicked, this, [this] { BrowseForQuarantineFolder(); });

  AddNumberField(
      "txtMaxMBPerRun", "Max. &MB Per Run:", "A run stops once it has moved this many megabytes",
      15, [](const KestrelCfg& c) { return c.MaxMBPerRun(); },
      [](KestrelCfg& c, std::int32_t v) { c.MaxMBPerRun(v); });
  AddNumberField(
      "txtMaxErrorsPerRun",
      "Max. &Errors Per Run:", "A run stops once this many files could not be moved", 16,
      [](const KestrelCfg& c) { return c.MaxErrorsPerRun(); },
      [](KestrelCfg& c, std::int32_t v) { c.MaxErrorsPerRun(v); });
  AddNumberField(
      "txtMaxKBLogFile",
      "Max. &KB Log File Size:", "Kestrel.log stops growing at this many thousand characters", 17,
      [](const KestrelCfg& c) { return c.MaxKBLogFile(); },
      [](KestrelCfg& c, std::int32_t v) { c.MaxKBLogFile(v); });
  purge_after_days_ = AddNumberField(
      "txtPurgeAfterDays", "Purge Af&ter Days:",
      "Empty the quarantine of items older than this many days; 0: never", 57,
      [](const KestrelCfg& c) { return c.PurgeAfterDays(); },
      [](KestrelCfg& c, std::int32_t v) { c.PurgeAfterDays(v); });
  connect(quarantine_folder_, &QLineEdit::textChanged, this, [this] { ShowPurgeUse(); });

  display_all_messages_ = new QCheckBox(QStringLiteral("&Display All Messages:"));
  display_all_messages_->setObjectName(QStringLiteral("chkDisplayAllMessages"));
  display_all_messages_->setToolTip(
      QStringLiteral("Log every folder scanned, not only the include folders"));
  // The caption stands at the left of the box.
  display_all_messages_->setLayoutDirection(Qt::RightToLeft);
  SetHelpContext(display_all_messages_, 18);
  grid_->addWidget(display_all_messages_, rows_++, 0, 1, 1, Qt::AlignLeft);
  grid_->setRowStretch(rows_, 1);
  connect(display_all_messages_, &QCheckBox::stateChanged, this, [this](int state) {
    if (filling_) return;
    CurrentCfg(fn_).DisplayAllMessages(state != Qt::Unchecked);
    Stored();
  });

  setTabOrder(user_name_, company_);
  setTabOrder(company_, prefix_token_);
  setTabOrder(prefix_token_, quarantine_folder_);
  setTabOrder(quarantine_folder_, browse_quarantine_);
  setTabOrder(browse_quarantine_, numbers_[0].field);
  setTabOrder(numbers_[0].field, numbers_[1].field);
  setTabOrder(numbers_[1].field, numbers_[2].field);
  setTabOrder(numbers_[2].field, numbers_[3].field);
  setTabOrder(numbers_[3].field, display_all_messages_);
  ShowPurgeUse();
}

void OptionsTab::ShowPurgeUse() {
  const bool trash = Trimmed(quarantine_folder_->Bytes()).empty();
  purge_after_days_->setEnabled(!trash);
  purge_after_days_->setToolTip(
      trash ? QStringLiteral("Not used with the Trash")
            : QStringLiteral("Empty the quarantine of items older than this many days; 0: never "
                             "(0 to 2147483647)"));
}

NameField* OptionsTab::AddTextField(const char* name, const char* caption, const char* tip,
                                    int help, const TextSet& set) {
  const int row = rows_++;
  auto* label = new QLabel(QString::fromUtf8(caption));
  grid_->addWidget(label, row, 0);
  auto* field = new NameField;
  label->setBuddy(field);
  field->setObjectName(QString::fromUtf8(name));
  field->setToolTip(QString::fromUtf8(tip));
  SetHelpContext(field, help);
  grid_->addWidget(field, row, 1);
  connect(field, &QLineEdit::textChanged, this, [this, field, set] {
    if (filling_) return;
    set(CurrentCfg(fn_), field->Bytes());
    Stored();
  });
  return field;
}

QLineEdit* OptionsTab::AddNumberField(const char* name, const char* caption, const char* tip,
                                      int help, NumberGet get, const NumberSet& set) {
  const int row = rows_++;
  auto* label = new QLabel(QString::fromUtf8(caption));
  grid_->addWidget(label, row, 0);
  auto* field = new QLineEdit;
  label->setBuddy(field);
  field->setObjectName(QString::fromUtf8(name));
  field->setToolTip(QString::fromUtf8(tip) + QStringLiteral(" (0 to 2147483647)"));
  field->setValidator(new DigitsValidator(field));
  SetHelpContext(field, help);
  QLabel* error = NewErrorLabel(QString::fromUtf8(name).replace(0, 3, QStringLiteral("lbl")) +
                                QStringLiteral("Error"));
  error->setText(QString::fromUtf8(kLimitError));
  // Its room is kept while it is hidden, so that showing it never cuts it.
  QSizePolicy keep = error->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  error->setSizePolicy(keep);
  // A number needs no more room than the design gave it; the error takes what is left.
  field->setMaximumWidth(TwipsToPixels(2295, logicalDpiX()));
  auto* row_box = new QHBoxLayout;
  row_box->addWidget(field, 1);
  row_box->addWidget(error);
  row_box->addStretch(0);
  grid_->addLayout(row_box, row, 1);
  numbers_.push_back({field, error, std::move(get)});

  connect(field, &QLineEdit::textChanged, this, [this, error, set](const QString& text) {
    const std::optional<std::int32_t> value = LimitOf(text);
    error->setVisible(!value);
    bool valid = true;
    for (const NumberField& number : numbers_) valid = valid && LimitOf(number.field->text());
    if (valid != valid_) {
      valid_ = valid;
      emit ValidityChanged(valid);
    }
    if (filling_ || !value) return;
    set(CurrentCfg(fn_), *value);
    Stored();
  });
  // "075" reads as 75, and shows so once the field is left.
  connect(field, &QLineEdit::editingFinished, this, [field] {
    if (const auto value = LimitOf(field->text())) field->setText(QString::number(*value));
  });
  return field;
}

bool OptionsTab::Valid() const {
  return valid_;
}

void OptionsTab::Stored() {
  CurrentCfg(fn_).IsDirty(true);
  emit Edited();
}

void OptionsTab::Fill(const KestrelCfg& cfg) {
  filling_ = true;
  user_name_->SetBytes(cfg.UserName());
  company_->SetBytes(cfg.Company());
  prefix_token_->SetBytes(cfg.PrefixToken());
  quarantine_folder_->SetBytes(cfg.QuarantineFolder());
  for (const NumberField& number : numbers_)
    number.field->setText(QString::number(number.get(cfg)));
  display_all_messages_->setChecked(cfg.DisplayAllMessages());
  filling_ = false;
}

bool OptionsTab::eventFilter(QObject* watched, QEvent* event) {
  if (watched == quarantine_folder_ && event->type() == QEvent::FocusOut) {
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    // Only a move to another control of the window counts, not a switch to another window.
    QWidget* next = QApplication::focusWidget();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && next &&
        window()->isAncestorOf(next) && next != browse_quarantine_ &&
        Trimmed(quarantine_folder_->Bytes()).empty()) {
      WarnEmptyQuarantine();
    }
  }
  return TabPage::eventFilter(watched, event);
}

void OptionsTab::WarnEmptyQuarantine() {
  dialogs_.MessageBox(
      "Since no quarantine folder was specified, out of date files will be moved to the Trash "
      "rather than quarantined.",
      MsgButtons::Ok, MsgIcon::Exclamation, "Empty Quarantine Folder");
}

void OptionsTab::BrowseForQuarantineFolder() {
  const std::string folder =
      BrowseForFolder(fn_, dialogs_, ExpandHome(Trimmed(quarantine_folder_->Bytes())));
  if (!folder.empty()) quarantine_folder_->SetBytes(folder);
  quarantine_folder_->setFocus();
}

}  // namespace kestrel
