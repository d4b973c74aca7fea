#include "ui/preview_window.h"
#include "ui/window_layout.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <exception>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "platform/error_reporter.h"
#include "platform/escape_text.h"
#include "preview/preview.h"
#include "ui/preview_model.h"

namespace kestrel {
namespace {

QString NoteText(const PreviewItem& item) {
  switch (item.kind) {
    case PreviewItem::Kind::kWarning:
      return QStringLiteral("[Warning] ") + QString::fromStdString(item.text);
    case PreviewItem::Kind::kStop:
      return QStringLiteral("[Stop] ") + QString::fromStdString(item.text);
    case PreviewItem::Kind::kRefused:
      return QStringLiteral("[Refused] ") + QString::fromStdString(item.text);
    case PreviewItem::Kind::kFailed:
      return QStringLiteral("[Failed] ") + QString::fromStdString(item.text);
    case PreviewItem::Kind::kPurge:
      return QStringLiteral("[Would Purge] %1 %2 ")
                 .arg(item.size)
                 .arg(QString::fromStdString(item.removal_date.ToIsoText().substr(0, 10))) +
             QString::fromStdString(EscapeControlBytes(item.path));
    case PreviewItem::Kind::kMove:
      break;
  }
  return {};
}

QString Summary(const PreviewResult& r) {
  if (r.failed)
    return QStringLiteral("Run would end with an error; nothing would be moved after it.");
  if (r.end == RunEnd::kClockRefused)
    return QStringLiteral("Run would be refused by the clock check.");
  QString text = QStringLiteral("Run would move %1 files, %2 MB")
                     .arg(r.files)
                     .arg(static_cast<double>(r.bytes) / 1e6, 0, 'f', 2);
  if (r.errors > 0) {
    text += QStringLiteral(", with %1 error%2").arg(r.errors).arg(r.errors == 1 ? "" : "s");
  }
  if (r.end == RunEnd::kMegabyteLimit) text += QStringLiteral(", and stop at the MB limit");
  if (r.end == RunEnd::kErrorLimit) text += QStringLiteral(", and stop at the error limit");
  if (r.purging) {
    text += QStringLiteral("; %1 to purge (%2 bytes)").arg(r.purge).arg(r.purge_bytes);
  }
  return text + QStringLiteral(". Nothing has been moved.");
}

}  // namespace

PreviewWindow::PreviewWindow(Functions& fn, QWidget* parent)
    : QWidget(parent, Qt::Window), fn_(fn) {
  setObjectName(QStringLiteral("frmPreview"));
  setWindowTitle(QStringLiteral("Kestrel Preview"));
  status_ = new QLabel;
  status_->setObjectName(QStringLiteral("lblPreviewStatus"));
  model_ = new PreviewModel(this);
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(model_);
  sorted_->setSortRole(Qt::UserRole);
  table_ = new QTableView;
  table_->setObjectName(QStringLiteral("tblPreview"));
  table_->setModel(sorted_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(-1, Qt::AscendingOrder);  // the run's order until a header is clicked
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setWordWrap(false);
  table_->verticalHeader()->setVisible(false);
  // Fixed row heights: no row is measured, so 100,000 rows show at once.
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  table_->horizontalHeader()->setSectionResizeMode(PreviewModel::kFile, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(PreviewModel::kRemovalDate,
                                                   QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(PreviewModel::kSize,
                                                   QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(PreviewModel::kDestination,
                                                   QHeaderView::Interactive);
  table_->horizontalHeader()->resizeSection(PreviewModel::kDestination,
                                            fontMetrics().horizontalAdvance(QLatin1Char('x')) * 32);
  notes_ = new QPlainTextEdit;
  notes_->setObjectName(QStringLiteral("txtPreviewNotes"));
  notes_->setReadOnly(true);
  notes_->setLineWrapMode(QPlainTextEdit::NoWrap);
  notes_->setMaximumBlockCount(100000);
  run_ = new QPushButton(QStringLiteral("&Run"));
  run_->setObjectName(QStringLiteral("cmdPreviewRun"));
  refresh_ = new QPushButton(QStringLiteral("Re&fresh"));
  refresh_->setObjectName(QStringLiteral("cmdPreviewRefresh"));
  refresh_->setToolTip(QStringLiteral("Preview the settings as they are now"));
  refresh_->setVisible(false);
  auto* close = new QPushButton(QStringLiteral("Close"));
  close->setObjectName(QStringLiteral("cmdPreviewClose"));

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(status_, 1);
  buttons->addWidget(refresh_);
  buttons->addWidget(run_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_, 4);
  layout->addWidget(notes_, 1);
  layout->addLayout(buttons);

  connect(close, &QPushButton::clicked, this, &QWidget::close);
  for (const QKeySequence& keys :
       {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
    connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
  }
  connect(run_, &QPushButton::clicked, this, [this] {
    if (!result_ || !UpToDate()) return;
    auto listed = std::make_shared<const std::vector<ListedFile>>(ListedFiles(*result_));
    shown_ = false;  // what the table shows is about to change
    UpdateRunButton();
    emit RunRequested(from_, std::move(listed));
  });
  connect(refresh_, &QPushButton::clicked, this, [this] { emit RefreshRequested(); });
  resize(900, 520);
  FitToScreen(*this);
  UpdateRunButton();
}

PreviewWindow::~PreviewWindow() {
  control_.stop = true;
  if (worker_.joinable()) worker_.join();
}

void PreviewWindow::Start(std::shared_ptr<KestrelCfg> cfg) {
  if (Busy() || !cfg) return;
  from_ = std::move(cfg);
  cfg_ = std::make_shared<const KestrelCfg>(*from_);
  result_.reset();
  shown_ = false;
  UpdateRunButton();
  every_disk_ = cfg_->IncludeFolders().empty();
  status_->setText(every_disk_ ? QStringLiteral("Looking at every local disk, since the Include "
                                                "list is empty...")
                               : QStringLiteral("Looking at the folders..."));
  control_.stop = false;
  worker_ = std::thread([this, cfg = cfg_] {
    auto result = std::make_shared<PreviewResult>();
    try {
      *result = Preview(fn_.World(), *cfg, &control_);
    } catch (...) {
      ReportHandled(fn_.Outside().reporter, "frmPreview.Start", std::current_exception());
    }
    QMetaObject::invokeMethod(
        this, [this, result] { Finish(result); }, Qt::QueuedConnection);
  });
}

void PreviewWindow::Finish(const std::shared_ptr<const PreviewResult>& result) {
  worker_.join();
  model_->SetMoves(result->items);
  QStringList notes;
  for (const PreviewItem& item : result->items) {
    if (item.kind != PreviewItem::Kind::kMove) notes << NoteText(item);
  }
  notes_->setPlainText(notes.join(QLatin1Char('\n')));
  result_ = result;
  summary_ = (every_disk_ ? QStringLiteral("Every local disk (the Include list is empty), %L1 "
                                           "folders looked at. ")
                                .arg(result->folders)
                          : QString()) +
             Summary(*result);
  shown_ = true;
  UpdateRunButton();
  emit Finished();
}

void PreviewWindow::ShowRun(std::int64_t files, std::int64_t bytes, bool stopped) {
  const QString moved =
      QStringLiteral("%1 files, %2 MB").arg(files).arg(static_cast<double>(bytes) / 1e6, 0, 'f', 2);
  status_->setText(stopped ? QStringLiteral("Run was stopped after moving %1.").arg(moved)
                           : QStringLiteral("Run moved %1.").arg(moved));
}

void PreviewWindow::SetRunAllowed(bool allowed) {
  run_allowed_ = allowed;
  UpdateRunButton();
}

bool PreviewWindow::UpToDate() const {
  return from_ && cfg_ && fn_.CurrentCfg == from_ && from_->SameSettings(*cfg_);
}

void PreviewWindow::UpdateRunButton() {
  const bool stale = shown_ && !UpToDate();
  run_->setEnabled(shown_ && !stale && result_ && result_->files > 0 && run_allowed_ && !Busy());
  refresh_->setVisible(stale);
  refresh_->setEnabled(stale && run_allowed_ && !Busy());
  if (!shown_) return;
  status_->setText(stale ? QStringLiteral("The settings have changed since this preview, so it is "
                                          "out of date. Refresh to preview them as they are.")
                         : summary_);
}

}  // namespace kestrel
