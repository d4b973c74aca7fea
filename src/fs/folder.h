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
