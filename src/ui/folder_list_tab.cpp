#include "ui/folder_list_tab.h"

#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include "app/functions.h"
#include "cleanup/path_text.h"
#include "fs/win32_wrapper.h"
#include "platform/dialogs.h"
#include "ui/help_window.h"
#include "ui/name_field.h"
#include "ui/ui_support.h"
#include "ui/window_layout.h"

namespace kestrel {

namespace {

// The local folders among the dropped items, as bytes.
std::vector<std::string> DroppedFolders(const QMimeData* data) {
  std::vector<std::string> folders;
  if (!data || !data->hasUrls()) return folders;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isDir()) continue;
    folders.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  }
  return folders;
}

}  // namespace

FolderListTab::FolderListTab(Functions& fn, Dialogs& dialogs, FolderListKind kind, QWidget* parent)
    : TabPage(parent), fn_(fn), dialogs_(dialogs), kind_(kind) {
  const bool include = kind == FolderListKind::Include;
  const QString which = include ? QStringLiteral("Include") : QStringLiteral("Exclude");
  const QString lower = which.toLower();
  // Help numbers of the Exclude tab follow those of the Include tab by five.
  const int help = include ? 0 : 5;

  list_ = new QListWidget;
  list_->setObjectName(QStringLiteral("lst%1Folders").arg(which));
  list_->setToolTip(include ? QStringLiteral("Folders a run scans; ticked: with their subfolders")
                            : QStringLiteral("Folders a run skips; ticked: with their subfolders"));
  list_->setAcceptDrops(true);
  list_->viewport()->setAcceptDrops(true);
  list_->viewport()->installEventFilter(this);
  SetHelpContext(list_, 20 + help);
  add_ = new QPushButton(QStringLiteral("&Add"));
  add_->setObjectName(QStringLiteral("cmdAdd%1Folder").arg(which));
  add_->setToolTip(QStringLiteral("Add the folder below to the %1 list").arg(lower));
  add_->setEnabled(false);
  SetHelpContext(add_, 22 + help);
  remove_ = new QPushButton(QStringLiteral("&Remove"));
  remove_->setObjectName(QStringLiteral("cmdRemove%1Folder").arg(which));
  remove_->setToolTip(QStringLiteral("Remove the selected folder from the %1 list").arg(lower));
  remove_->setEnabled(false);
  SetHelpContext(remove_, 23 + help);
  new_folder_ = new NameField;
  new_folder_->setObjectName(QStringLiteral("txtNew%1Folder").arg(which));
  new_folder_->setToolTip(QStringLiteral("A folder to add; \"~\" stands for your home folder"));
  SetHelpContext(new_folder_, 19 + help);
  browse_ = new QPushButton(QStringLiteral("..."));
  browse_->setObjectName(QStringLiteral("cmdBrowseFor%1Folder").arg(which));
  browse_->setToolTip(QStringLiteral("Choose a folder to add"));
  SetHelpContext(browse_, 21 + help);
  MakeCompact(*browse_);

  // The header of the tick boxes' column.
  auto* header = new QLabel(QStringLiteral("Subfolders"));
  header->setObjectName(QStringLiteral("lbl%1Subfolders").arg(which));

  auto* grid = new QGridLayout(this);
  grid->addWidget(header, 0, 0, 1, 2);
  grid->addWidget(list_, 1, 0, 3, 2);
  grid->addWidget(add_, 1, 2);
  grid->addWidget(remove_, 2, 2);
  grid->addWidget(new_folder_, 4, 0);
  grid->addWidget(browse_, 4, 1);
  grid->setRowStretch(3, 1);
  grid->setColumnStretch(0, 1);

  setTabOrder(list_, add_);
  setTabOrder(add_, remove_);
  setTabOrder(remove_, new_folder_);
  setTabOrder(new_folder_, browse_);

  connect(new_folder_, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
  connect(list_, &QListWidget::itemClicked, this, [this] { ListClicked(); });
  connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* current) {
    if (!filling_ && current) ListClicked();
  });
  connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) { Ticked(item); });
  connect(add_, &QPushButton::clicked, this, [this] { Add(); });
  connect(remove_, &QPushButton::clicked, this, [this] { Remove(); });
  connect(browse_, &QPushButton::clicked, this, [this] {
    const std::string folder = BrowseForFolder(fn_, dialogs_);
    if (!folder.empty()) new_folder_->SetBytes(folder);
    new_folder_->setFocus();
  });
}

FolderList& FolderListTab::CfgList() {
  KestrelCfg& cfg = CurrentCfg(fn_);
  return kind_ == FolderListKind::Include ? cfg.IncludeFolders() : cfg.ExcludeFolders();
}

QListWidgetItem* FolderListTab::NewEntry(const std::string& name, bool subs) {
  auto* item = new QListWidgetItem;
  SetItemBytes(*item, name);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(subs ? Qt::Checked : Qt::Unchecked);
  return item;
}

void FolderListTab::Fill(const FolderList& folders) {
  filling_ = true;
  list_->clear();
  for (const Folder2Clean& folder : folders) {
    list_->addItem(NewEntry(folder.FolderName(), folder.IncludeSubs()));
  }
  list_->scrollToTop();
  list_->setCurrentItem(nullptr);
  filling_ = false;
  UpdateButtons();
}

void FolderListTab::ListClicked() {
  const QListWidgetItem* current = list_->currentItem();
  new_folder_->SetBytes(current ? ItemBytes(*current) : std::string());
  UpdateButtons();
}

void FolderListTab::Ticked(QListWidgetItem* item) {
  FolderList& folders = CfgList();
  const auto row = static_cast<size_t>(list_->row(item));
  if (filling_ || row >= folders.size()) return;
  const bool subs = item->checkState() == Qt::Checked;
  if (folders[row].IncludeSubs() == subs) return;
  folders[row].IncludeSubs(subs);
  CurrentCfg(fn_).IsDirty(true);
  emit Edited();
}

void FolderListTab::UpdateButtons() {
  add_->setEnabled(!Trimmed(new_folder_->Bytes()).empty());
  remove_->setEnabled(list_->currentItem() != nullptr);
}

void FolderListTab::Add() {
  const std::string name = ExpandHome(Trimmed(new_folder_->Bytes()));
  if (name.empty()) return;
  if (kind_ == FolderListKind::Include) {
    Win32Wrapper fs(fn_.Outside().sys);
    Folder2Clean entry(name, false);
    if (!entry.ChkFolderSpec(fs) && !ConfirmMissingFolder(entry)) return;
  }
  if (!AddName(name)) {
    dialogs_.MessageBox(
        name + " is already in the list.", MsgButtons::Ok, MsgIcon::Information,
        kind_ == FolderListKind::Include ? "Add Include Folder" : "Add Exclude Folder");
    new_folder_->setFocus();
    return;
  }
  new_folder_->clear();
  UpdateButtons();
  new_folder_->setFocus();
}

bool FolderListTab::AddName(const std::string& name) {
  const std::string_view key = WithoutTrailingSlash(name);
  for (const Folder2Clean& folder : CfgList()) {
    if (WithoutTrailingSlash(folder.FolderName()) == key) return false;
  }
  filling_ = true;
  list_->addItem(NewEntry(name, false));
  filling_ = false;
  CfgList().emplace_back(name, false);
  CurrentCfg(fn_).IsDirty(true);
  emit Edited();
  return true;
}

bool FolderListTab::ConfirmMissingFolder(const Folder2Clean& entry) {
  return dialogs_.MessageBox("The folder '" + entry.FolderName() +
                                 "' does not exist.\nAre you sure you want to add it?",
                             MsgButtons::YesNo, MsgIcon::Question,
                             "Add Include Folder") == MsgResult::Yes;
}

void FolderListTab::Remove() {
  QListWidgetItem* current = list_->currentItem();
  if (!current) return;
  const int row = list_->row(current);
  const bool include = kind_ == FolderListKind::Include;
  const MsgResult answer = dialogs_.MessageBox(
      "Are you sure you want to remove " + ItemBytes(*current) + " from the list?",
      MsgButtons::YesNo, MsgIcon::Question,
      include ? "Remove Include Folder" : "Remove Exclude Folder");
  if (answer == MsgResult::Yes) {
    filling_ = true;
    delete list_->takeItem(row);
    list_->setCurrentItem(nullptr);
    filling_ = false;
    FolderList& folders = CfgList();
    if (static_cast<size_t>(row) < folders.size()) folders.erase(folders.begin() + row);
    CurrentCfg(fn_).IsDirty(true);
    emit Edited();
  }
  UpdateButtons();
  new_folder_->setFocus();
}

bool FolderListTab::eventFilter(QObject* watched, QEvent* event) {
  if (watched != list_->viewport()) return TabPage::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (DroppedFolders(drag->mimeData()).empty()) return false;
      drag->acceptProposedAction();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const std::vector<std::string> folders = DroppedFolders(drop->mimeData());
      if (folders.empty()) return false;
      for (const std::string& folder : folders) AddName(folder);
      UpdateButtons();
      drop->acceptProposedAction();
      return true;
    }
    default:
      return TabPage::eventFilter(watched, event);
  }
}

}  // namespace kestrel
