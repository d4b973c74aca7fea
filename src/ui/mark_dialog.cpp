#include "ui/mark_dialog.h"
#include "ui/window_layout.h"

#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "fs/win32_wrapper.h"
#include "marking/mark_file.h"
#include "marking/mark_rules.h"

namespace kestrel {
namespace {

QDate ToQDate(DateTime d) {
  const DateTime::Civil c = d.ToCivil();
  return QDate(c.year, c.month, c.day);
}

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

MarkDialog::MarkDialog(Sys& sys, std::string token, DateTime now, std::vector<std::string> files,
                       QWidget* parent)
    : QDialog(parent), sys_(sys), token_(std::move(token)), files_(std::move(files)) {
  setWindowTitle(QStringLiteral("Mark for removal"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Remove on:"), this));

  auto* row = new QHBoxLayout;
  calendar_ = new QCalendarWidget(this);
  calendar_->setObjectName(QStringLiteral("calRemoveOn"));
  calendar_->setGridVisible(true);
  calendar_->setMinimumDate(ToQDate(now));
  calendar_->setMaximumDate(QDate(9999, 12, 31));
  calendar_->setSelectedDate(ToQDate(*ParseWhen("1m", now)));
  row->addWidget(calendar_);
  auto* presets = new QVBoxLayout;
  const std::pair<const char*, const char*> kPresets[] = {
      {"1 week", "1w"}, {"1 month", "1m"}, {"3 months", "3m"}, {"1 year", "1y"}};
  for (const auto& [caption, when] : kPresets) {
    auto* button = new QPushButton(QString::fromUtf8(caption), this);
    button->setAutoDefault(false);
    const QDate day = ToQDate(*ParseWhen(when, now));
    connect(button, &QPushButton::clicked, this, [this, day] { calendar_->setSelectedDate(day); });
    presets->addWidget(button);
  }
  presets->addStretch();
  row->addLayout(presets);
  layout->addLayout(row);

  names_ = new QTreeWidget(this);
  names_->setObjectName(QStringLiteral("lstNames"));
  names_->setHeaderLabels({QStringLiteral("File"), QStringLiteral("New name")});
  names_->setRootIsDecorated(false);
  names_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  layout->addWidget(names_);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("lblSummary"));
  summary_->setWordWrap(true);
  layout->addWidget(summary_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  close_ = buttons->button(QDialogButtonBox::Cancel);
  mark_ = buttons->addButton(QStringLiteral("&Mark"), QDialogButtonBox::AcceptRole);
  mark_->setObjectName(QStringLiteral("cmdMark"));
  mark_->setDefault(true);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(mark_, &QPushButton::clicked, this, &MarkDialog::Mark);
  layout->addWidget(buttons);

  connect(calendar_, &QCalendarWidget::selectionChanged, this, &MarkDialog::Refresh);
  Refresh();
  resize(620, 520);
  FitToScreen(*this);
}

DateTime MarkDialog::Date() const {
  const QDate d = calendar_->selectedDate();
  return *DateTime::FromCivil(d.year(), d.month(), d.day());
}

void MarkDialog::Refresh() {
  names_->clear();
  int ready = 0;
  for (const std::string& file : files_) {
    const MarkOutcome out = MarkFile(sys_, file, token_, Date(), /*rename=*/false);
    auto* item = new QTreeWidgetItem(names_);
    item->setText(0, Text(Win32Wrapper::Filename(file)));
    item->setToolTip(0, Text(file));
    if (out.ok) {
      item->setText(1, Text(Win32Wrapper::Filename(out.new_path)));
      ++ready;
    } else {
      item->setText(1, Text("cannot be marked: " + out.reason));
      item->setToolTip(1, item->text(1));
      item->setForeground(1, palette().brush(QPalette::Disabled, QPalette::Text));
    }
  }
  summary_->setText(QStringLiteral("%1 of %2 files can be marked for %3.")
                        .arg(ready)
                        .arg(files_.size())
                        .arg(calendar_->selectedDate().toString(QStringLiteral("MM-dd-yyyy"))));
  mark_->setEnabled(ready > 0);
}

void MarkDialog::Mark() {
  std::vector<std::string> left;
  QStringList reasons;
  for (const std::string& file : files_) {
    const MarkOutcome out = MarkFile(sys_, file, token_, Date());
    if (out.ok) continue;
    left.push_back(file);
    if (!reasons.contains(Text(out.reason))) reasons << Text(out.reason);
  }
  if (left.empty()) {
    accept();
    return;
  }
  const auto marked = files_.size() - left.size();
  files_ = std::move(left);
  Refresh();
  // What was marked stays marked, so Cancel would undo nothing.
  summary_->setText(QStringLiteral("%1 marked, %2 not marked: %3")
                        .arg(marked)
                        .arg(files_.size())
                        .arg(reasons.join(QStringLiteral("; "))));
  if (marked > 0) {
    close_->setText(QStringLiteral("Close"));
    close_->setDefault(true);
  }
}

}  // namespace kestrel
