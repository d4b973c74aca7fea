#pragma once

#include <string>

#include "config/kestrel_cfg.h"
#include "ui/tab_page.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace kestrel {

class Dialogs;
class Functions;

enum class FolderListKind { Include, Exclude };

// The Include or the Exclude tab: the window's list of folders, each with its subfolder check
// box, beside the configuration's list. Add and Remove change both; a check box only the
// window's list, which Save copies back whole.
class FolderListTab : public TabPage {
 public:
  FolderListTab(Functions& fn, Dialogs& dialogs, FolderListKind kind, QWidget* tab_control);

  // Shows the folders, scrolled to the first, none of them current.
  void Fill(const FolderList& folders);
  // The window's list as configuration entries, in its order, with its check states.
  FolderList Entries() const;

  QPushButton* AddButton() const { return add_; }
  QLineEdit* NewFolderField() const { return new_folder_; }

 private:
  FolderList& CfgList();
  void ListClicked();
  void UpdateButtons();
  void Add();
  void Remove();
  bool ConfirmMissingFolder(const Folder2Clean& entry);

  Functions& fn_;
  Dialogs& dialogs_;
  const FolderListKind kind_;
  QListWidget* list_;
  QPushButton* add_;
  QPushButton* remove_;
  QLineEdit* new_folder_;
  QPushButton* browse_;
  // Set while code changes the list, whose selection signals are no user's clicks then.
  bool filling_ = false;
};

}  // namespace kestrel
