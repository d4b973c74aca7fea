#include "ui/restore_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <unordered_map>

#include "app/commands/restore.h"
#include "app/functions.h"
#include "journal/journal_reader.h"
#include "journal/journal_text.h"
#include "journal/journal_writer.h"
#include "platform/escape_text.h"

namespace kestrel {

void RestoreFilesModel::SetEntries(std::vector<journal::Entry> entries) {
  std::unordered_map<std::uint64_t, char> ticks;
  for (size_t i = 0; i < entries_.size(); ++i) ticks.emplace(entries_[i].number, checked_[i]);
  beginResetModel();
  entries_ = std::move(entries);
  checked_.assign(entries_.size(), 0);
  for (size_t i = 0; i < entries_.size(); ++i) {
    const auto before = ticks.find(entries_[i].number);
    checked_[i] = entries_[i].state == journal::State::kMoved &&
                  (before == ticks.end() || before->second != 0);
  }
  endResetModel();
}

std::vector<std::string> RestoreFilesModel::Checked() const {
  std::vector<std::string> paths;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (checked_[i]) paths.push_back(entries_[i].file.original);
  }
  return paths;
}

void RestoreFilesModel::CheckAll(bool checked) {
  for (size_t i = 0; i < entries_.size(); ++i)
    checked_[i] = checked && entries_[i].state == journal::State::kMoved;
  if (!entries_.empty())
    emit dataChanged(index(0, kFile), index(rowCount() - 1, kFile), {Qt::CheckStateRole});
}

int RestoreFilesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int RestoreFilesModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant RestoreFilesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<size_t>(index.row()) >= entries_.size()) return {};
  const journal::Entry& e = entries_[static_cast<size_t>(index.row())];
  if (role == Qt::CheckStateRole && index.column() == kFile) {
    return checked_[static_cast<size_t>(index.row())] ? Qt::Checked : Qt::Unchecked;
  }
  if (role == Qt::TextAlignmentRole && index.column() == kSize) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kFile:
      return QString::fromStdString(EscapeControlBytes(e.file.original));
    case kSize:
      return QLocale().toString(static_cast<qlonglong>(e.file.size));
    case kWhere:
      if (e.state == journal::State::kRestored) {
        const auto since = moved_since_.find(e.restored_to);
        return QString::fromStdString(
            EscapeControlBytes(since == moved_since_.end() ? e.restored_to : since->second));
      }
      return QString::fromStdString(EscapeControlBytes(e.placed));
    case kState:
      switch (e.state) {
        case journal::State::kMoved:
          return e.info.empty() ? QStringLiteral("in quarantine") : QStringLiteral("in the Trash");
        case journal::State::kRestored:
          return QStringLiteral("restored");
        case journal::State::kFailed:
          return QStringLiteral("not moved");
        case journal::State::kPurged:
          return QStringLiteral("purged");
        default:
          return QStringLiteral("unfinished");
      }
    default:
      return {};
  }
}

bool RestoreFilesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != kFile ||
      !(flags(index) & Qt::ItemIsUserCheckable))
    return false;
  checked_[static_cast<size_t>(index.row())] = value.toInt() == Qt::Checked;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

Qt::ItemFlags RestoreFilesModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == kFile &&
      entries_[static_cast<size_t>(index.row())].state == journal::State::kMoved)
    f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant RestoreFilesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[] = {"File", "Size", "State", "Where it is"};
  return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}

namespace {

// "2026-12-06T22-00-00-2" as "2026-12-06 22:00:00 (2)": the run's local start, readable.
QString RunCaption(const std::string& name) {
  if (name.size() < 19 || name[10] != 'T') return QString::fromStdString(name);
  std::string text = name.substr(0, 19);
  text[10] = ' ';
  text[13] = text[16] = ':';
  if (name.size() > 20) text += " (" + name.substr(20) + ")";
  return QString::fromStdString(text);
}

}  // namespace

void RestoreDialog::Tally::Note(const std::string& line) {
  std::string text = line.substr(std::min(line.size(), line.find("] ") + 2));
  if (text.starts_with("Its mark stays")) return;
  if (text.starts_with("Not restored, ")) text.erase(0, 14);
  text = text.substr(0, text.find(": /"));
  const QString reason = QString::fromStdString(text);
  if (!reasons.contains(reason)) reasons << reason;
}

RestoreDialog::RestoreDialog(Functions& fn, QWidget* parent) : QDialog(parent), fn_(fn) {
  setWindowTitle(QStringLiteral("Restore"));
  setObjectName(QStringLiteral("frmRestore"));
  runs_ = new QComboBox;
  runs_->setObjectName(QStringLiteral("cboRuns"));
  status_ = new QLabel;
  status_->setObjectName(QStringLiteral("lblRestoreStatus"));
  model_ = new RestoreFilesModel(this);
  files_ = new QTableView;
  files_->setObjectName(QStringLiteral("tblRestoreFiles"));
  files_->setModel(model_);
  files_->setSelectionBehavior(QAbstractItemView::SelectRows);
  files_->verticalHeader()->hide();
  files_->verticalHeader()->setDefaultSectionSize(files_->fontMetrics().height() + 6);
  files_->horizontalHeader()->setStretchLastSection(true);
  files_->setWordWrap(false);
  unmark_ = new QCheckBox(QStringLiteral("Also remove the removal date"));
  unmark_->setObjectName(QStringLiteral("chkUnmark"));
  unmark_->setChecked(true);
  all_ = new QPushButton(QStringLiteral("Check &all"));
  none_ = new QPushButton(QStringLiteral("Check &none"));
  restore_ = new QPushButton(QStringLiteral("&Restore"));
  restore_->setObjectName(QStringLiteral("cmdRestore"));
  auto* close = new QPushButton(QStringLiteral("Close"));

  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("Run:")));
  top->addWidget(runs_, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(all_);
  bottom->addWidget(none_);
  bottom->addWidget(unmark_);
  bottom->addStretch(1);
  bottom->addWidget(restore_);
  bottom->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(status_);
  layout->addWidget(files_, 1);
  layout->addLayout(bottom);

  // Newest first: the run one most likely wants back.
  const std::vector<std::string> names = journal::ListRuns(fn_.Outside().sys, JournalFolder(fn_));
  for (auto it = names.rbegin(); it != names.rend(); ++it)
    runs_->addItem(RunCaption(*it), QString::fromStdString(*it));
  connect(runs_, &QComboBox::currentIndexChanged, this, [this] { LoadRun(); });
  connect(all_, &QPushButton::clicked, this, [this] { model_->CheckAll(true); });
  connect(none_, &QPushButton::clicked, this, [this] { model_->CheckAll(false); });
  connect(restore_, &QPushButton::clicked, this, [this] { StartRestore(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  resize(900, 480);
  if (runs_->count() == 0) {
    status_->setText(QStringLiteral("No run has been journaled yet."));
    restore_->setEnabled(false);
  } else {
    LoadRun();
  }
}

RestoreDialog::~RestoreDialog() {
  if (worker_.joinable()) worker_.join();
}

void RestoreDialog::Join() {
  if (worker_.joinable()) worker_.join();
}

void RestoreDialog::LoadRun() {
  if (Busy() || runs_->currentIndex() < 0) return;
  if (sender() == runs_) last_status_ = 0;
  restore_->setEnabled(false);
  runs_->setEnabled(false);
  status_->setText(QStringLiteral("Reading the journal..."));
  const std::string name = runs_->currentData().toString().toStdString();
  worker_ = std::thread([this, name] {
    auto run = std::make_shared<journal::RunJournal>();
    journal::ReadJournal(fn_.Outside().sys, JournalFolder(fn_), name, *run);
    QMetaObject::invokeMethod(
        this, [this, run] { Show(run); }, Qt::QueuedConnection);
  });
}

void RestoreDialog::Show(const std::shared_ptr<journal::RunJournal>& run) {
  Join();
  std::int64_t away = 0;
  for (const journal::Entry& e : run->entries) away += e.state == journal::State::kMoved;
  const std::string config = run->config.empty() ? "an unsaved configuration" : run->config;
  status_->setText(QStringLiteral("%1 files moved by %2 at %3, %4 still away.")
                       .arg(run->MovedFiles())
                       .arg(QString::fromStdString(EscapeControlBytes(config)))
                       .arg(QString::fromStdString(run->start.ToDisplayText()))
                       .arg(away));
  model_->SetMovedSince(moved_since_);
  model_->SetEntries(std::move(run->entries));
  files_->resizeColumnToContents(RestoreFilesModel::kSize);
  files_->resizeColumnToContents(RestoreFilesModel::kState);
  files_->setColumnWidth(RestoreFilesModel::kFile, 420);
  if (tally_) {
    const int missed = tally_->asked - tally_->restored;
    status_->setText(status_->text() +
                     QStringLiteral(" %1 restored, %2 unmarked, %3 not restored")
                         .arg(tally_->restored)
                         .arg(tally_->unmarked)
                         .arg(missed) +
                     (missed > 0 && !tally_->reasons.isEmpty()
                          ? QStringLiteral(": ") + tally_->reasons.join(QStringLiteral("; "))
                          : QString()) +
                     QStringLiteral("."));
  }
  runs_->setEnabled(true);
  restore_->setEnabled(away > 0);
  emit Loaded();
}

void RestoreDialog::StartRestore() {
  if (Busy()) return;
  const std::vector<std::string> paths = model_->Checked();
  if (paths.empty()) return;
  RestoreRequest request{runs_->currentData().toString().toStdString(), paths, false,
                         unmark_->isChecked()};
  auto tally = std::make_shared<Tally>();
  tally->asked = static_cast<int>(paths.size());
  tally_ = nullptr;
  restore_->setEnabled(false);
  runs_->setEnabled(false);
  status_->setText(QStringLiteral("Restoring %1 files...").arg(paths.size()));
  worker_ = std::thread([this, request, tally] {
    const int status = RestoreFiles(fn_, request, [this, tally](const RestoreNote& note) {
      const std::string_view type = note.type;
      if (type == "restored") {
        ++tally->restored;
        tally->last_restored = note.path;
      } else if (type == "unmarked") {
        ++tally->unmarked;
        tally->moved_since[tally->last_restored] = note.path;
      } else if (type == "warning") {
        tally->Note(note.line);
      }
      emit Line(QString::fromStdString(note.line));  // queued to the receiver's thread
    });
    QMetaObject::invokeMethod(
        this,
        [this, status, tally] {
          tally_ = tally;
          moved_since_.insert(tally->moved_since.begin(), tally->moved_since.end());
          Done(status);
        },
        Qt::QueuedConnection);
  });
}

void RestoreDialog::Done(int status) {
  Join();
  last_status_ = status;
  emit Finished();
  LoadRun();
}

}  // namespace kestrel
