#pragma once

#include <string>

#include "config/kestrel_cfg.h"
#include "ui/tab_page.h"

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace kestrel {

class Dialogs;
class Functions;
class NameField;

enum class FolderListKind { Include, Exclude };

// The Include or the Exclude tab: the configuration's list of folders, each with its subfolder
// check box. Every tick, add and remove reaches the configuration at once.
class FolderListTab : public TabPage {
 public:
  FolderListTab(Functions& fn, Dialogs& dialogs, FolderListKind kind, QWidget* parent = nullptr);

  // Shows the folders, scrolled to the first, none of them current.
  void Fill(const FolderList& folders);

  QPushButton* AddButton() const { return add_; }
  NameField* NewFolderField() const { return new_folder_; }
  QListWidget* List() const { return list_; }

 protected:
  // Folders dropped from a file manager are added.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  FolderList& CfgList();
  void ListClicked();
  void Ticked(QListWidgetItem* item);
  void UpdateButtons();
  void Add();
  // Adds the name unless the list holds it (a trailing "/" aside). Returns true iff added.
  bool AddName(const std::string& name);
  void Remove();
  bool ConfirmMissingFolder(const Folder2Clean& entry);
  QListWidgetItem* NewEntry(const std::string& name, bool subs);

  Functions& fn_;
  Dialogs& dialogs_;
  const FolderListKind kind_;
  QListWidget* list_;
  QPushButton* add_;
  QPushButton* remove_;
  NameField* new_folder_;
  QPushButton* browse_;
  // Set while code changes the list, whose signals are no user's doing then.
  bool filling_ = false;
};

}  // namespace kestrel
