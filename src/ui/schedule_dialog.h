#pragma once

#include <QDialog>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrel {

class Scheduler;

// File > Schedule: the schedule of one saved configuration, which it can set or remove.
// Without a systemd user instance it shows the crontab line to use, selectable, with Copy.
class ScheduleDialog : public QDialog {
  Q_OBJECT

 public:
  // name is the configuration as a silent run takes it.
  ScheduleDialog(Scheduler& scheduler, std::string name, QWidget* parent = nullptr);

  QComboBox* Calendar() const { return calendar_; }
  QLabel* Current() const { return current_; }
  QLabel* Message() const { return message_; }
  QLineEdit* CrontabLine() const { return crontab_; }
  QPushButton* ScheduleButton() const { return schedule_; }
  QPushButton* RemoveButton() const { return remove_; }
  QPushButton* CopyButton() const { return copy_; }

 private:
  void Schedule();
  void Remove();
  // Shows the schedule as the timer drop-ins hold it.
  void ShowCurrent();
  // Shows what scheduling said; a crontab line goes into its own field.
  void ShowOutcome(int status, const std::string& message);

  Scheduler& scheduler_;
  std::string name_;
  QComboBox* calendar_;
  QLabel* current_;
  QLabel* message_;
  QLineEdit* crontab_;
  QPushButton* copy_;
  QPushButton* schedule_;
  QPushButton* remove_;
};

}  // namespace kestrel
