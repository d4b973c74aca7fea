#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fs/mask.h"

namespace kestrel {

class Sys;

// An open folder for one pass of discovery. Below the root, folders are opened relative to
// their parent without following links and never on another file system, so a folder swapped
// for a link during a run is not entered. Works at any depth and path length: along one chain
// of folders only the deepest 128 levels (and every 128th) hold a descriptor; the others are
// opened again by name, checked against the identity they had, when they are used again.
class Folder {
 public:
  // Opens the folder the user named; a link there is followed. Invalid when it cannot be opened.
  static Folder OpenRoot(Sys& sys, const std::string& path);
  // Opens a subfolder by name. Invalid when it is not a directory of the same file system,
  // is a link, or cannot be opened.
  Folder OpenChild(const std::string& name) const;

  // What the handles of one open folder share; copies are handles on the same folder.
  struct Node;
  Folder();
  ~Folder();
  Folder(const Folder&);
  Folder& operator=(const Folder&);
  Folder(Folder&&) noexcept;
  Folder& operator=(Folder&&) noexcept;

  bool Valid() const;
  dev_t Device() const;
  ino_t Inode() const;

  // One pass over the entries: names that fit the mask go to matches (every kind of entry,
  // directories and links included, never "." or ".."), directories (not links) to subfolders,
  // each appended in byte order of the names. Returns false iff the folder could not be read to
  // its end.
  bool List(std::string_view mask, std::vector<std::string>& matches,
            std::vector<std::string>& subfolders) const;
  // The same with the mask taken apart once, for the many folders of a walk.
  bool List(const Mask& mask, std::vector<std::string>& matches,
            std::vector<std::string>& subfolders) const;
  // Closes the descriptor of a folder below the root; it is opened again, by name and checked,
  // only if it is used again.
  void LetGo() const;

  // A thread that lists folders may give itself a descriptor table of its own
  // (unshare(CLONE_FILES)): the kernel then serves its calls without the locks and counts that
  // a table shared between threads costs. The folders it opens keep their descriptors in a slot
  // of their own, and a folder another thread opened is opened again in its table, by name and
  // checked, from the nearest ancestor open there. The slots a folder has for such threads:
  static constexpr int kTables = 4;
  // Called by such a thread first, with a slot from 1 to kTables - 1 no other thread uses.
  static void UseOwnTable(int slot);
  // Called by such a thread last: what it holds of its table ends with it.
  static void LeaveOwnTable();
  // Opens a root in this thread's table, by its path, as the folder it is; false when the path
  // leads elsewhere now or cannot be opened. True at once where the root is open already.
  bool OpenInOwnTable(const std::string& path) const;
  // Closes the descriptors of this thread's table whose folders were let go on other threads.
  static void CloseReleased();

 private:
  std::shared_ptr<Node> node_;
};

// Identities of the folders a scan listed candidates in, by path; MoveFile checks that the
// folder it moves from is still the one that was scanned.
class ScannedFolders {
 public:
  void Remember(const std::string& folder_path, dev_t dev, ino_t ino);
  // Returns true iff the folder was remembered with a different identity (it was swapped).
  bool Swapped(const std::string& folder_path, dev_t dev, ino_t ino) const;
  // Returns true iff the folder path was remembered at all.
  bool Known(const std::string& folder_path) const;

 private:
  struct Identity {
    dev_t dev;
    ino_t ino;
  };
  std::unordered_map<std::string, Identity> folders_;
};

}  // namespace kestrel
