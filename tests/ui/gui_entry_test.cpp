// RunGui makes its own QApplication, so this program drives it without Qt Test's main: the
// modal About box comes first, the main window behind it; an error reported while the window
// is up shows in a message box; closing the window ends RunGui with 0.
#include <QtWidgets>
#include <cstdio>

#include "app/functions.h"
#include "fs/sys.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "support/doubles.h"
#include "ui/gui.h"
#include "ui/gui_error_reporter.h"

using namespace kestrel;

namespace {

ErrorReporter* program_reporter = nullptr;
QStringList seen;

QWidget* Main() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->objectName() == QLatin1String("frmKestrel")) return widget;
  return nullptr;
}

// Runs as RunGui's QApplication starts; without a main window the event loop ends with 99.
void Watch() {
  QTimer::singleShot(0, [] {
    QWidget* about = QApplication::activeModalWidget();
    seen << (about ? about->windowTitle() : "no modal box")
         << (Main() && !Main()->isVisible() ? "main window behind" : "no main window behind");
    if (about) about->close();
    QTimer::singleShot(0, [] {
      if (!Main() || !Main()->isVisible()) return QApplication::exit(99);
      // Runs in the message box's own event loop.
      QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          seen << box->text();
          box->close();
        }
      });
      ReportHandled(*program_reporter, "KestrelCfg.CleanUp",
                    std::make_exception_ptr(KsError(kAppError, "disk gone", "Fs.Stat")));
      Main()->close();
    });
  });
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qAddPreRoutine(Watch);
  QTemporaryDir folder;
  SystemClock clock;
  test::RecordingReporter silent;
  GuiErrorReporter reporter(silent);
  Functions fn(Outside{clock, reporter, RealSys(), folder.path().toStdString()});
  program_reporter = &reporter;
  const int status = RunGui(fn, argc, argv);
  const QStringList expected{"About Kestrel", "main window behind",
                             "disk gone\n\nError 0x80040001 in KestrelCfg.CleanUp\nFs.Stat"};
  std::printf("status %d (0 expected), seen: %s\n", status, qPrintable(seen.join(" | ")));
  return status == 0 && seen == expected ? 0 : 1;
}
