#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/sys.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "ui/gui_error_reporter.h"
#include "ui/main_window.h"
#include "ui/scripted_dialogs.h"

namespace kestrel {

class FixedClock final : public Clock {
 public:
  DateTime Now() const override { return now; }
  DateTime now = *DateTime::FromCivil(2026, 12, 6, 10, 2, 36);
};

class RecordingReporter final : public ErrorReporter {
 public:
  struct Report {
    std::int32_t number;
    std::string description;
    std::string location;
  };
  std::int32_t ReportError(std::int32_t number, const std::string& description,
                           const std::string& location, std::int32_t, const std::string&,
                           const std::string&) override {
    std::lock_guard lock(mutex);
    reports.push_back({number, description, location});
    return 0;
  }
  std::vector<Report> Reports() {
    std::lock_guard lock(mutex);
    return reports;
  }
  std::mutex mutex;
  std::vector<Report> reports;
};

// A program as GUI mode sets it up: the objects of Functions over a temporary program folder,
// the error reporter that shows its reports, and scripted dialogs.
struct TestProgram {
  TestProgram() { SetDisplayLocale("C"); }
  ~TestProgram() { gui_reporter.Attach(nullptr); }

  std::string Path(const std::string& name) const {
    return folder.path().toStdString() + "/" + name;
  }

  QTemporaryDir folder;
  FixedClock clock;
  RecordingReporter recorded;
  GuiErrorReporter gui_reporter{recorded};
  Functions fn{Platform{clock, gui_reporter, RealSys(), folder.path().toStdString()}};
  ScriptedDialogs dialogs;
};

// The main window of a test program, shown and active so that focus moves as for a user.
struct TestWindow {
  explicit TestWindow(TestProgram& program) : window(program.fn, program.dialogs) {
    program.gui_reporter.Attach(&program.dialogs);
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) qWarning("the test window did not become active");
  }
  template <typename T>
  T* Find(const char* name) {
    T* child = window.findChild<T*>(QString::fromUtf8(name));
    if (!child) qFatal("no control named %s", name);
    return child;
  }
  MainWindow window;
};

}  // namespace kestrel
