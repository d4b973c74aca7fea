// RunGui makes its own QApplication, so this program drives it without Qt Test's main.
#include <QtWidgets>
#include <cstdio>
#include <thread>

#include "app/functions.h"
#include "fs/sys.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "support/doubles.h"
#include "ui/gui.h"
#include "ui/gui_error_reporter.h"

using namespace kestrel;

namespace {

int failed = 0;

void Check(bool ok, const char* what) {
  failed += ok ? 0 : 1;
  std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what);
}

QWidget* Main() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QLatin1String("frmKestrel")) return widget;
  }
  return nullptr;
}

ErrorReporter* program_reporter = nullptr;
std::thread run;
bool about_first = false;
QString box_text;

// Runs as RunGui's QApplication starts. Notes and closes the box that comes first; once the
// main window shows, reports an error from another thread as a run does, closes the message
// box that shows it (ten seconds at most), then the window. Without a main window the event
// loop ends with 99.
void Watch() {
  QTimer::singleShot(0, [] {
    QWidget* about = QApplication::activeModalWidget();
    about_first = about && about->windowTitle() == QLatin1String("About Kestrel") && Main() &&
                  !Main()->isVisible();
    if (about) about->close();
    QTimer::singleShot(0, [] {
      if (!Main() || !Main()->isVisible()) return QApplication::exit(99);
      run = std::thread([] {
        ReportHandled(*program_reporter, "KestrelCfg.CleanUp",
                      std::make_exception_ptr(KsError(kAppError, "disk gone", "Fs.Stat")));
      });
      auto* poll = new QTimer(Main());
      QObject::connect(poll, &QTimer::timeout, poll, [poll, ticks = 0]() mutable {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          box_text = box->text();
          box->close();
        } else if (!box_text.isEmpty() || ++ticks == 1000) {
          poll->stop();
          Main()->close();
        }
      });
      poll->start(10);
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

  Check(RunGui(fn, argc, argv) == 0, "the main window shows, then closes with status 0");
  if (run.joinable()) run.join();
  Check(about_first, "the modal About box comes first, the main window behind it");
  Check(box_text == "disk gone\n\nError 0x80040001 in KestrelCfg.CleanUp\nFs.Stat",
        "an error from a run's thread shows in a message box");
  std::printf("%d failed\n", failed);
  return failed == 0 ? 0 : 1;
}
