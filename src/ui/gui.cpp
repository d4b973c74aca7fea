#include "ui/gui.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "platform/error_reporter.h"
#include "ui/about_box.h"
#include "ui/gui_error_reporter.h"
#include "ui/help_window.h"
#include "ui/main_window.h"
#include "ui/mark_dialog.h"
#include "ui/qt_dialogs.h"

namespace kestrel {

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Shows the program's error reports in message boxes while the windows are up.
class ShownReports {
 public:
  ShownReports(ErrorReporter& reporter, Dialogs& dialogs)
      : gui_(dynamic_cast<GuiErrorReporter*>(&reporter)) {
    if (gui_) gui_->Attach(&dialogs);
  }
  ~ShownReports() {
    if (gui_) gui_->Attach(nullptr);
  }
  ShownReports(const ShownReports&) = delete;
  ShownReports& operator=(const ShownReports&) = delete;

 private:
  GuiErrorReporter* gui_;
};

}  // namespace

bool DisplayAvailable() {
  return IsSet("QT_QPA_PLATFORM") || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

int RunGui(Functions& fn, int argc, char** argv) {
  if (!DisplayAvailable()) {
    std::fputs("kestrel: no display for the window; use -s:<configfile> to run a clean-up\n",
               stderr);
    return kNoDisplay;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kestrel"));
  QApplication::setWindowIcon(KestrelIcon());
  SetHelpFile(QStringLiteral(":/help/contents.html"));

  QtDialogs dialogs;
  ShownReports shown(fn.Outside().reporter, dialogs);
  int status = 1;
  try {
    MainWindow window(fn, dialogs);
    dialogs.Owner(&window);
    window.About().exec();
    window.show();
    status = QApplication::exec();
  } catch (...) {
    ReportHandled(fn.Outside().reporter, "Functions.Main", std::current_exception());
  }
  return status;
}

int RunMarkDialog(Functions& fn, int argc, char** argv, const std::vector<std::string>& files) {
  if (!DisplayAvailable()) {
    std::fputs("kestrel-gui: no display for the window; use kestrel --mark WHEN FILE...\n", stderr);
    return kNoDisplay;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kestrel"));
  QApplication::setWindowIcon(KestrelIcon());
  QtDialogs dialogs;
  const std::string& token = fn.CurrentCfg->PrefixToken();
  if (token.empty()) {
    dialogs.MessageBox("The prefix token of the configuration is empty: nothing can be marked.",
                       MsgButtons::Ok, MsgIcon::Exclamation, "Mark for removal");
    return 2;
  }
  MarkDialog dialog(fn.Outside().sys, token, fn.Now(), files);
  return dialog.exec() == QDialog::Accepted ? 0 : 1;
}

}  // namespace kestrel
