#include "ui/options_tab.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "config/kestrel_cfg.h"
#include "platform/dialogs.h"
#include "ui/help_window.h"
#include "ui/numeric_text.h"
#include "ui/ui_support.h"

namespace kestrel {

namespace {

// The rows of the tab lie 360 twips apart from 600 down.
int RowTop(int row) {
  return 600 + 360 * row;
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

OptionsTab::OptionsTab(Functions& fn, Dialogs& dialogs, QWidget* tab_control)
    : TabPage(tab_control), fn_(fn), dialogs_(dialogs) {
  AddLabel("User Name:", 0);
  user_name_ = AddTextField(
      "txtUserName", 0, 2295, 11, [](const KestrelCfg& c) { return c.UserName(); },
      [](KestrelCfg& c, const std::string& v) { c.UserName(v); });
  AddLabel("Company:", 1);
  company_ = AddTextField(
      "txtCompany", 1, 2295, 12, [](const KestrelCfg& c) { return c.Company(); },
      [](KestrelCfg& c, const std::string& v) { c.Company(v); });
  AddLabel("Removal Date Prefix:", 2);
  prefix_token_ = AddTextField(
      "txtPrefixToken", 2, 2295, 13, [](const KestrelCfg& c) { return c.PrefixToken(); },
      [](KestrelCfg& c, const std::string& v) { c.PrefixToken(v); });
  AddLabel("Quarantine Folder:", 3);
  quarantine_folder_ = AddTextField(
      "txtQuarantineFolder", 3, 3255, 14, [](const KestrelCfg& c) { return c.QuarantineFolder(); },
      [](KestrelCfg& c, const std::string& v) { c.QuarantineFolder(v); });
  quarantine_folder_->installEventFilter(this);
  browse_quarantine_ = new QPushButton(QStringLiteral("..."));
  browse_quarantine_->setObjectName(QStringLiteral("cmdBrowseForQuarantineFolder"));
  SetHelpContext(browse_quarantine_, 14);
  Place(browse_quarantine_, 5160, RowTop(3), 285, 285);
  connect(browse_quarantine_, &QPushButton::clicked, this, [this] { BrowseForQuarantineFolder(); });

  AddLabel("Max. MB Per Run:", 4);
  max_mb_per_run_ = AddNumberField(
      "txtMaxMBPerRun", 4, 15, [](const KestrelCfg& c) { return c.MaxMBPerRun(); },
      [](KestrelCfg& c, std::int32_t v) { c.MaxMBPerRun(v); });
  AddLabel("Max. Errors Per Run:", 5);
  max_errors_per_run_ = AddNumberField(
      "txtMaxErrorsPerRun", 5, 16, [](const KestrelCfg& c) { return c.MaxErrorsPerRun(); },
      [](KestrelCfg& c, std::int32_t v) { c.MaxErrorsPerRun(v); });
  AddLabel("Max. KB Log File Size:", 6);
  max_kb_log_file_ = AddNumberField(
      "txtMaxKBLogFile", 6, 17, [](const KestrelCfg& c) { return c.MaxKBLogFile(); },
      [](KestrelCfg& c, std::int32_t v) { c.MaxKBLogFile(v); });

  display_all_messages_ = new QCheckBox(QStringLiteral("Display All Messages:"));
  display_all_messages_->setObjectName(QStringLiteral("chkDisplayAllMessages"));
  // The caption stands at the left of the box.
  display_all_messages_->setLayoutDirection(Qt::RightToLeft);
  SetHelpContext(display_all_messages_, 18);
  Place(display_all_messages_, 120, RowTop(7), 2000, 255);
  connect(display_all_messages_, &QCheckBox::stateChanged, this, [this](int state) {
    KestrelCfg& cfg = CurrentCfg(fn_);
    const bool value = state != Qt::Unchecked;
    cfg.IsDirty(cfg.DisplayAllMessages() != value);
    cfg.DisplayAllMessages(value);
  });

  setTabOrder(user_name_, company_);
  setTabOrder(company_, prefix_token_);
  setTabOrder(prefix_token_, quarantine_folder_);
  setTabOrder(quarantine_folder_, browse_quarantine_);
  setTabOrder(browse_quarantine_, max_mb_per_run_);
  setTabOrder(max_mb_per_run_, max_errors_per_run_);
  setTabOrder(max_errors_per_run_, max_kb_log_file_);
  setTabOrder(max_kb_log_file_, display_all_messages_);
}

void OptionsTab::AddLabel(const char* caption, int row) {
  auto* label = new QLabel(QString::fromUtf8(caption));
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Place(label, 120, RowTop(row), 1695, 255);
}

QLineEdit* OptionsTab::AddTextField(const char* name, int row, int width, int help, TextGet get,
                                    TextSet set) {
  auto* field = new QLineEdit;
  field->setObjectName(QString::fromUtf8(name));
  SetHelpContext(field, help);
  Place(field, 1920, RowTop(row), width, 285);
  connect(field, &QLineEdit::textChanged, this, [this, get, set](const QString& text) {
    KestrelCfg& cfg = CurrentCfg(fn_);
    const std::string typed = text.toStdString();
    cfg.IsDirty(get(cfg) != typed);
    set(cfg, typed);
  });
  return field;
}

QLineEdit* OptionsTab::AddNumberField(const char* name, int row, int help, NumberGet get,
                                      NumberSet set) {
  auto* field = new QLineEdit;
  field->setObjectName(QString::fromUtf8(name));
  SetHelpContext(field, help);
  Place(field, 1920, RowTop(row), 2295, 285);
  connect(field, &QLineEdit::textChanged, this, [this, field, get, set](const QString& text) {
    KestrelCfg& cfg = CurrentCfg(fn_);
    cfg.IsDirty(text.toStdString() != std::to_string(get(cfg)));
    const std::optional<std::int32_t> value = WholeNumberOf(text);
    if (!value) {
      // Runs this handler again, nested, which stores the 0.
      field->setText(QStringLiteral("0"));
      return;
    }
    set(cfg, *value);
  });
  return field;
}

void OptionsTab::Fill(const KestrelCfg& cfg) {
  user_name_->setText(Q(cfg.UserName()));
  company_->setText(Q(cfg.Company()));
  prefix_token_->setText(Q(cfg.PrefixToken()));
  quarantine_folder_->setText(Q(cfg.QuarantineFolder()));
  max_mb_per_run_->setText(QString::number(cfg.MaxMBPerRun()));
  max_errors_per_run_->setText(QString::number(cfg.MaxErrorsPerRun()));
  max_kb_log_file_->setText(QString::number(cfg.MaxKBLogFile()));
  display_all_messages_->setChecked(cfg.DisplayAllMessages());
}

void OptionsTab::CopyInto(KestrelCfg& cfg) const {
  cfg.UserName(user_name_->text().toStdString());
  cfg.Company(company_->text().toStdString());
  cfg.PrefixToken(prefix_token_->text().toStdString());
  cfg.QuarantineFolder(quarantine_folder_->text().toStdString());
  cfg.MaxMBPerRun(WholeNumberOf(max_mb_per_run_->text()).value_or(0));
  cfg.MaxErrorsPerRun(WholeNumberOf(max_errors_per_run_->text()).value_or(0));
  cfg.MaxKBLogFile(WholeNumberOf(max_kb_log_file_->text()).value_or(0));
  cfg.DisplayAllMessages(display_all_messages_->checkState() != Qt::Unchecked);
}

bool OptionsTab::eventFilter(QObject* watched, QEvent* event) {
  if (watched == quarantine_folder_ && event->type() == QEvent::FocusOut) {
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    // Only a move to another control of the window counts, not a switch to another window.
    QWidget* next = QApplication::focusWidget();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && next &&
        window()->isAncestorOf(next) && next != browse_quarantine_ &&
        Trimmed(quarantine_folder_->text().toStdString()).empty()) {
      WarnEmptyQuarantine();
    }
  }
  return TabPage::eventFilter(watched, event);
}

void OptionsTab::WarnEmptyQuarantine() {
  dialogs_.MessageBox(
      "Since no quarantine folder was specified, out of date files \n"
      "will be moved to the recycle bin rather that quarantined.",
      MsgButtons::Ok, MsgIcon::Exclamation, "Empty Quarantine Folder");
}

void OptionsTab::BrowseForQuarantineFolder() {
  quarantine_folder_->setText(Q(BrowseForFolder(fn_, dialogs_)));
  quarantine_folder_->setFocus();
}

}  // namespace kestrel
