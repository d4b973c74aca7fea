// RunGui makes its own QApplication, so this program drives it without Qt Test's main.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "ui/gui.h"
#include "ui/ui_fixture.h"

#include "platform/console_error_reporter.h"
#include "ui/gui_error_reporter.h"

using namespace kestrel;

namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const std::string& what) {
  ++(ok ? passed : failed);
  std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what.c_str());
}

// What the watcher does once the main window shows.
std::function<void(QWidget* main)> then_do = [](QWidget* main) { main->close(); };

struct Seen {
  QString first_title;
  bool first_modal = false;
  bool main_hidden_meanwhile = false;
  QString then_title;
  bool then_visible = false;
} seen;

QWidget* TopLevel(const char* name) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QLatin1String(name)) return widget;
  }
  return nullptr;
}

// Runs as soon as RunGui has made its QApplication: closes the About box, then the window.
void Watch() {
  QTimer::singleShot(0, [] {
    QWidget* about = QApplication::activeModalWidget();
    if (about) {
      seen.first_title = about->windowTitle();
      seen.first_modal = about->isModal();
      QWidget* main = TopLevel("frmKestrel");
      seen.main_hidden_meanwhile = main && !main->isVisible();
      about->close();
    }
    QTimer::singleShot(0, [] {
      if (QWidget* main = TopLevel("frmKestrel")) {
        seen.then_title = main->windowTitle();
        seen.then_visible = main->isVisible();
        then_do(main);
      } else {
        QApplication::exit(99);
      }
    });
  });
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  {
    TestProgram program;
    qAddPreRoutine(Watch);
    const int status = RunGui(program.fn, argc, argv);
    Check(status == 0, "the window closes with status 0");
    Check(seen.first_title == QLatin1String("About Kestrel") && seen.first_modal,
          "the About box comes first, modal");
    Check(seen.main_hidden_meanwhile, "the main window waits behind the About box");
    Check(seen.then_title == QLatin1String("Kestrel") && seen.then_visible,
          "then the main window shows");
  }
  {
    // The program's own reporter logs first; the window shows it, here from a run's thread.
    TestProgram program;
    ConsoleErrorReporter console(program.clock, program.folder.path().toStdString());
    GuiErrorReporter reporter(console);
    Functions fn(Platform{program.clock, reporter, RealSys(), program.folder.path().toStdString()});
    QString box_text;
    std::thread run;
    then_do = [&](QWidget* main) {
      run = std::thread([&] {
        ReportHandled(fn.Outside().reporter, "KestrelCfg.CleanUp",
                      std::make_exception_ptr(std::runtime_error("disk gone")));
      });
      auto* poll = new QTimer(main);
      QObject::connect(poll, &QTimer::timeout, main, [&, main] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          box_text = box->text();
          box->close();
          return;
        }
        if (!box_text.isEmpty()) {
          run.join();
          main->close();
        }
      });
      poll->start(10);
    };
    Check(RunGui(fn, argc, argv) == 0, "a run's error does not end the window");
    Check(box_text.startsWith(QStringLiteral("disk gone")), "the console reporter's error shows");
  }
  {
    TestProgram program;
    qunsetenv("QT_QPA_PLATFORM");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    Check(!DisplayAvailable(), "no display without QT_QPA_PLATFORM, DISPLAY or WAYLAND_DISPLAY");
    Check(RunGui(program.fn, argc, argv) == kNoDisplay, "RunGui returns kNoDisplay without one");
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    Check(DisplayAvailable(), "a Wayland display counts");
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
