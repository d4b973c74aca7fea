#include "ui/qt_dialogs.h"

#include "ui/qt_print_dialog.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <vector>

#include "platform/print_device.h"

namespace kestrel {

namespace {

QMessageBox::Icon IconOf(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::Exclamation:
      return QMessageBox::Warning;
    case MsgIcon::Critical:
      return QMessageBox::Critical;
    case MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

// In the order the buttons stand; the first is the default one.
std::vector<QMessageBox::StandardButton> ButtonsOf(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::OkCancel:
      return {QMessageBox::Ok, QMessageBox::Cancel};
    case MsgButtons::YesNo:
      return {QMessageBox::Yes, QMessageBox::No};
    case MsgButtons::YesNoCancel:
      return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case MsgButtons::YesNoDefaultNo:
      return {QMessageBox::No, QMessageBox::Yes};
    case MsgButtons::Ok:
      break;
  }
  return {QMessageBox::Ok};
}

std::optional<std::string> AskFileName(QWidget* owner, QFileDialog::AcceptMode mode,
                                       const std::string& filter, const std::string& default_ext,
                                       const std::string& initial_file) {
  QFileDialog dialog(
      owner, mode == QFileDialog::AcceptOpen ? QStringLiteral("Open") : QStringLiteral("Save As"));
  dialog.setAcceptMode(mode);
  dialog.setNameFilter(QString::fromStdString(filter));
  QString suffix = QString::fromStdString(default_ext);
  if (suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
  dialog.setDefaultSuffix(suffix);
  if (mode == QFileDialog::AcceptOpen) {
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontResolveSymlinks);
  } else {
    dialog.setFileMode(QFileDialog::AnyFile);
  }
  const QString start = QFile::decodeName(QByteArray::fromStdString(initial_file));
  if (start.endsWith(QLatin1Char('/'))) {
    dialog.setDirectory(start);
  } else if (!start.isEmpty()) {
    dialog.selectFile(start);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

}  // namespace

MsgResult QtDialogs::MessageBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                const std::string& caption) {
  QMessageBox box(IconOf(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::NoButton, owner_);
  const auto standard = ButtonsOf(buttons);
  for (auto button : standard) box.addButton(button);
  box.setDefaultButton(standard.front());
  switch (box.exec()) {
    case QMessageBox::Ok:
      return MsgResult::Ok;
    case QMessageBox::Yes:
      return MsgResult::Yes;
    case QMessageBox::No:
      return MsgResult::No;
    default:
      break;
  }
  // Closed without a button (Escape or the close box): the box's way of saying no.
  if (buttons == MsgButtons::Ok) return MsgResult::Ok;
  if (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoDefaultNo) return MsgResult::No;
  return MsgResult::Cancel;
}

std::optional<std::string> QtDialogs::OpenFileName(const std::string& filter,
                                                   const std::string& default_ext,
                                                   const std::string& initial_file) {
  return AskFileName(owner_, QFileDialog::AcceptOpen, filter, default_ext, initial_file);
}

std::optional<std::string> QtDialogs::SaveFileName(const std::string& filter,
                                                   const std::string& default_ext,
                                                   const std::string& initial_file) {
  return AskFileName(owner_, QFileDialog::AcceptSave, filter, default_ext, initial_file);
}

std::string QtDialogs::BrowseForFolder(const std::string& start) {
  return QFile::encodeName(
             QFileDialog::getExistingDirectory(owner_, QStringLiteral("Select a folder"),
                                               QFile::decodeName(QByteArray::fromStdString(start)),
                                               QFileDialog::ShowDirsOnly))
      .toStdString();
}

std::unique_ptr<PrintDevice> QtDialogs::ShowPrintDialog() {
  return ShowQtPrintDialog(owner_);
}

}  // namespace kestrel
