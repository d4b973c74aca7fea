#pragma once

#include <QDialog>
#include <QIcon>
#include <QStringList>
#include <string>

namespace kestrel {

class Dialogs;

// The About box: title, version, copyright, the makers and the program folder in use, and a
// button that starts the desktop's system information tool.
class AboutBox : public QDialog {
 public:
  AboutBox(Dialogs& dialogs, const std::string& program_folder, QWidget* parent = nullptr);

  // The system information tools looked for on PATH, in order of preference.
  static const QStringList& SysInfoTools();
  // Starts the first of them found on PATH; shows "System Information Is Unavailable At This
  // Time" when none is there or it does not start.
  void StartSysInfo();

 private:
  Dialogs& dialogs_;
};

// The program's icon, drawn rather than shipped as a file.
QIcon KestrelIcon();

}  // namespace kestrel
