#include "ui/folder_list_tab.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/functions.h"
#include "fs/win32_wrapper.h"
#include "platform/dialogs.h"
#include "ui/help_window.h"
#include "ui/ui_support.h"

namespace kestrel {

namespace {

QListWidgetItem* NewEntry(const std::string& name, bool subs) {
  auto* item = new QListWidgetItem(QString::fromStdString(name));
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(subs ? Qt::Checked : Qt::Unchecked);
  return item;
}

}  // namespace

FolderListTab::FolderListTab(Functions& fn, Dialogs& dialogs, FolderListKind kind,
                             QWidget* tab_control)
    : TabPage(tab_control), fn_(fn), dialogs_(dialogs), kind_(kind) {
  const bool include = kind == FolderListKind::Include;
  const QString which = include ? QStringLiteral("Include") : QStringLiteral("Exclude");
  // Help numbers of the Exclude tab follow those of the Include tab by five.
  const int help = include ? 0 : 5;

  list_ = new QListWidget;
  list_->setObjectName(QStringLiteral("lst%1Folders").arg(which));
  SetHelpContext(list_, 20 + help);
  Place(list_, 120, 480, 3975, 2505);
  add_ = new QPushButton(QStringLiteral("&Add"));
  add_->setObjectName(QStringLiteral("cmdAdd%1Folder").arg(which));
  add_->setEnabled(false);
  SetHelpContext(add_, 22 + help);
  Place(add_, 4200, 480, 1215, 375);
  remove_ = new QPushButton(QStringLiteral("&Remove"));
  remove_->setObjectName(QStringLiteral("cmdRemove%1Folder").arg(which));
  remove_->setEnabled(false);
  SetHelpContext(remove_, 23 + help);
  Place(remove_, 4200, 960, 1215, 375);
  new_folder_ = new QLineEdit;
  new_folder_->setObjectName(QStringLiteral("txtNew%1Folder").arg(which));
  SetHelpContext(new_folder_, 19 + help);
  Place(new_folder_, 120, 3000, 3735, 285);
  browse_ = new QPushButton(QStringLiteral("..."));
  browse_->setObjectName(QStringLiteral("cmdBrowseFor%1Folder").arg(which));
  SetHelpContext(browse_, 21 + help);
  Place(browse_, 3840, 3000, 285, 285);

  setTabOrder(list_, add_);
  setTabOrder(add_, remove_);
  setTabOrder(remove_, new_folder_);
  setTabOrder(new_folder_, browse_);

  connect(new_folder_, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
  connect(list_, &QListWidget::itemClicked, this, [this] { ListClicked(); });
  connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* current) {
    if (!filling_ && current) ListClicked();
  });
  connect(add_, &QPushButton::clicked, this, [this] { Add(); });
  connect(remove_, &QPushButton::clicked, this, [this] { Remove(); });
  connect(browse_, &QPushButton::clicked, this, [this] {
    new_folder_->setText(QString::fromStdString(BrowseForFolder(fn_, dialogs_)));
    new_folder_->setFocus();
  });
}

FolderList& FolderListTab::CfgList() {
  KestrelCfg& cfg = CurrentCfg(fn_);
  return kind_ == FolderListKind::Include ? cfg.IncludeFolders() : cfg.ExcludeFolders();
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

FolderList FolderListTab::Entries() const {
  FolderList entries;
  for (int row = 0; row < list_->count(); ++row) {
    const QListWidgetItem* item = list_->item(row);
    entries.emplace_back(item->text().toStdString(), item->checkState() == Qt::Checked);
  }
  return entries;
}

void FolderListTab::ListClicked() {
  const QListWidgetItem* current = list_->currentItem();
  new_folder_->setText(current ? current->text() : QString());
  UpdateButtons();
}

void FolderListTab::UpdateButtons() {
  add_->setEnabled(!Trimmed(new_folder_->text().toStdString()).empty());
  remove_->setEnabled(list_->currentItem() != nullptr);
}

void FolderListTab::Add() {
  const std::string name = Trimmed(new_folder_->text().toStdString());
  Folder2Clean entry(name, false);
  if (kind_ == FolderListKind::Include) {
    Win32Wrapper fs(fn_.Outside().sys);
    if (!entry.ChkFolderSpec(fs) && !ConfirmMissingFolder(entry)) return;
  }
  const QString qname = QString::fromStdString(name);
  for (int row = 0; row < list_->count(); ++row) {
    if (list_->item(row)->text().compare(qname, Qt::CaseInsensitive) == 0) {
      new_folder_->clear();
      return;
    }
  }
  filling_ = true;
  list_->addItem(NewEntry(name, false));
  filling_ = false;
  new_folder_->clear();
  CfgList().push_back(entry);
  CurrentCfg(fn_).IsDirty(true);
  UpdateButtons();
  new_folder_->setFocus();
}

bool FolderListTab::ConfirmMissingFolder(const Folder2Clean& entry) {
  return dialogs_.MessageBox("The folder '" + entry.FolderName() +
                                 "' does not exist.\nAre you sure you want to add it?",
                             MsgButtons::YesNo, MsgIcon::Question,
                             "Add Include Folder") == MsgResult::Yes;
}

void FolderListTab::Remove() {
  bool any_checked = false;
  for (int row = 0; row < list_->count() && !any_checked; ++row) {
    any_checked = list_->item(row)->checkState() == Qt::Checked;
  }
  QListWidgetItem* current = list_->currentItem();
  if (!any_checked || !current) return;
  const std::string name = current->text().toStdString();
  const bool include = kind_ == FolderListKind::Include;
  const MsgResult answer = dialogs_.MessageBox(
      "Are you sure you want to remove " + name + " from the list?", MsgButtons::YesNo,
      MsgIcon::Question, include ? "Remove Include Folder" : "Remove Exclude Folder");
  if (answer == MsgResult::Yes) {
    filling_ = true;
    delete list_->takeItem(list_->row(current));
    list_->setCurrentItem(nullptr);
    filling_ = false;
    FolderList& folders = CfgList();
    for (auto it = folders.begin(); it != folders.end(); ++it) {
      if (it->FolderName() == name) {
        folders.erase(it);
        break;
      }
    }
  }
  CurrentCfg(fn_).IsDirty(true);
  UpdateButtons();
  new_folder_->setFocus();
}

}  // namespace kestrel
