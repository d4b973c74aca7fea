#include "ui/schedule_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "platform/escape_text.h"
#include "scheduling/scheduler.h"

namespace kestrel {
namespace {

constexpr char kCrontabIntro[] = "crontab (crontab -e):\n";

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

ScheduleDialog::ScheduleDialog(Scheduler& scheduler, std::string name, QWidget* parent)
    : QDialog(parent), scheduler_(scheduler), name_(std::move(name)) {
  setObjectName(QStringLiteral("frmSchedule"));
  setWindowTitle(QStringLiteral("Schedule"));
  current_ = new QLabel;
  current_->setObjectName(QStringLiteral("lblCurrentSchedule"));
  calendar_ = new QComboBox;
  calendar_->setObjectName(QStringLiteral("cboCalendar"));
  calendar_->setEditable(true);
  calendar_->addItems(
      {QStringLiteral("weekly"), QStringLiteral("daily"), QStringLiteral("monthly")});
  calendar_->setToolTip(QStringLiteral("weekly, daily, monthly or a systemd calendar"));
  auto* calendar_label = new QLabel(QStringLiteral("&When:"));
  calendar_label->setBuddy(calendar_);
  schedule_ = new QPushButton(QStringLiteral("&Schedule"));
  schedule_->setObjectName(QStringLiteral("cmdSchedule"));
  schedule_->setDefault(true);
  remove_ = new QPushButton(QStringLiteral("&Remove schedule"));
  remove_->setObjectName(QStringLiteral("cmdUnschedule"));
  message_ = new QLabel;
  message_->setObjectName(QStringLiteral("lblScheduleMessage"));
  message_->setWordWrap(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  crontab_ = new QLineEdit;
  crontab_->setObjectName(QStringLiteral("txtCrontabLine"));
  crontab_->setReadOnly(true);
  crontab_->setToolTip(QStringLiteral("The line to add to your crontab"));
  copy_ = new QPushButton(QStringLiteral("&Copy"));
  copy_->setObjectName(QStringLiteral("cmdCopyCrontabLine"));
  auto* close = new QPushButton(QStringLiteral("Close"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(
      new QLabel(QStringLiteral("Run %1 silently.").arg(Text(EscapeControlBytes(name_)))), 0, 0, 1,
      3);
  grid->addWidget(current_, 1, 0, 1, 2);
  grid->addWidget(remove_, 1, 2);
  grid->addWidget(calendar_label, 2, 0);
  grid->addWidget(calendar_, 2, 1);
  grid->addWidget(schedule_, 2, 2);
  grid->addWidget(message_, 3, 0, 1, 3);
  grid->addWidget(crontab_, 4, 0, 1, 2);
  grid->addWidget(copy_, 4, 2);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(close);
  grid->addLayout(bottom, 5, 0, 1, 3);
  grid->setColumnStretch(1, 1);

  connect(schedule_, &QPushButton::clicked, this, [this] { Schedule(); });
  connect(remove_, &QPushButton::clicked, this, [this] { Remove(); });
  connect(copy_, &QPushButton::clicked, this,
          [this] { QApplication::clipboard()->setText(crontab_->text()); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  ShowOutcome(0, "");
  ShowCurrent();
  resize(620, sizeHint().height());
}

void ScheduleDialog::ShowCurrent() {
  const auto calendars = scheduler_.Calendars();
  const auto it = calendars.find(name_);
  const bool scheduled = it != calendars.end();
  current_->setText(scheduled
                        ? QStringLiteral("Scheduled: %1").arg(Text(EscapeControlBytes(it->second)))
                        : QStringLiteral("Not scheduled."));
  remove_->setEnabled(scheduled);
  if (scheduled) calendar_->setCurrentText(Text(it->second));
}

void ScheduleDialog::ShowOutcome(int status, const std::string& message) {
  const auto intro = message.find(kCrontabIntro);
  const bool crontab = status != 0 && intro != std::string::npos;
  const std::string shown = crontab ? message.substr(0, intro + sizeof kCrontabIntro - 2) : message;
  message_->setText(Text(shown));
  message_->setVisible(!message.empty());
  crontab_->setText(crontab ? Text(message.substr(intro + sizeof kCrontabIntro - 1)) : QString());
  // Wide enough for a usual line, which shows from its start: the schedule comes first.
  crontab_->setMinimumWidth(
      std::min(crontab_->fontMetrics().horizontalAdvance(crontab_->text()) + 16, 900));
  crontab_->setCursorPosition(0);
  crontab_->setVisible(crontab);
  copy_->setVisible(crontab);
}

void ScheduleDialog::Schedule() {
  const std::string calendar = calendar_->currentText().trimmed().toStdString();
  if (calendar.empty()) return;
  const ScheduleOutcome out = scheduler_.Schedule(name_, calendar);
  ShowOutcome(out.status, out.message);
  ShowCurrent();
}

void ScheduleDialog::Remove() {
  const ScheduleOutcome out = scheduler_.Unschedule(name_);
  ShowOutcome(out.status, out.message);
  ShowCurrent();
}

}  // namespace kestrel
