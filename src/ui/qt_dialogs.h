#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/dialogs.h"

namespace kestrel {

// The dialogs as Qt shows them, modal to the owner window.
class QtDialogs final : public Dialogs {
 public:
  explicit QtDialogs(QWidget* owner = nullptr) : owner_(owner) {}
  void Owner(QWidget* owner) { owner_ = owner; }

  MsgResult MessageBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                       const std::string& caption) override;
  std::optional<std::string> OpenFileName(const std::string& filter, const std::string& default_ext,
                                          const std::string& initial_file) override;
  std::optional<std::string> SaveFileName(const std::string& filter, const std::string& default_ext,
                                          const std::string& initial_file) override;
  std::string BrowseForFolder(const std::string& start) override;
  std::unique_ptr<PrintDevice> ShowPrintDialog() override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace kestrel
