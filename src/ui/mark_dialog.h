#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "platform/date_time.h"

class QCalendarWidget;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace kestrel {

class Sys;

// "Mark for removal": a calendar for the removal date and, before anything is renamed, each
// file's new name (or why it cannot be marked). Mark renames what can be; the dialog closes
// when every file was renamed and stays open with the reasons otherwise.
class MarkDialog : public QDialog {
 public:
  MarkDialog(Sys& sys, std::string token, DateTime now, std::vector<std::string> files,
             QWidget* parent = nullptr);

  QCalendarWidget* Calendar() const { return calendar_; }
  QTreeWidget* Names() const { return names_; }
  QPushButton* MarkButton() const { return mark_; }
  // Cancel, which reads Close once some files are marked.
  QPushButton* CloseButton() const { return close_; }
  // The chosen day, midnight.
  DateTime Date() const;

 private:
  // Shows what Mark would do on the chosen date.
  void Refresh();
  void Mark();

  Sys& sys_;
  std::string token_;
  std::vector<std::string> files_;
  QCalendarWidget* calendar_ = nullptr;
  QTreeWidget* names_ = nullptr;
  QLabel* summary_ = nullptr;
  QPushButton* mark_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace kestrel
