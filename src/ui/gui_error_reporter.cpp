#include "ui/gui_error_reporter.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

#include "platform/dialogs.h"

namespace kestrel {

namespace {
constexpr std::size_t kMaxPending = 10;
}

std::int32_t GuiErrorReporter::ReportError(std::int32_t number, const std::string& description,
                                           const std::string& location, std::int32_t context,
                                           const std::string& log_name,
                                           const std::string& app_name) {
  std::int32_t result = 0;
  try {
    result = inner_.ReportError(number, description, location, context, log_name, app_name);
  } catch (...) {
    // The inner reporter promises not to throw; the message box below still tells the user.
  }
  Show(MessageText(number, description, location), app_name.empty() ? "Kestrel" : app_name);
  return result;
}

void GuiErrorReporter::Display(std::int32_t number, const std::string& description,
                               const std::string& location) {
  Show(MessageText(number, description, location), "Kestrel");
}

std::string GuiErrorReporter::MessageText(std::int32_t number, const std::string& description,
                                          const std::string& location) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(number));
  return description + "\n\nError " + hex + " in " + location;
}

void GuiErrorReporter::Attach(Dialogs* dialogs) {
  std::vector<std::pair<std::string, std::string>> earlier;
  {
    std::lock_guard lock(mutex_);
    dialogs_ = dialogs;
    if (dialogs) earlier.swap(pending_);
  }
  for (const auto& [text, caption] : earlier) Show(text, caption);
}

void GuiErrorReporter::Show(const std::string& text, const std::string& caption) {
  {
    std::lock_guard lock(mutex_);
    if (!dialogs_) {
      if (pending_.size() < kMaxPending) pending_.emplace_back(text, caption);
      return;
    }
  }
  // Runs on the user-interface thread; reads the dialogs there, since they may be gone by then.
  auto show = [&] {
    Dialogs* dialogs = nullptr;
    {
      std::lock_guard lock(mutex_);
      dialogs = dialogs_;
    }
    if (!dialogs) return;
    try {
      dialogs->MessageBox(text, MsgButtons::Ok, MsgIcon::Critical, caption);
    } catch (...) {
      // A reporter has nowhere left to send its own failure.
    }
  };
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) {
    show();
  } else {
    // A run works off the user-interface thread; it waits here until the box is closed.
    QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection);
  }
}

}  // namespace kestrel
