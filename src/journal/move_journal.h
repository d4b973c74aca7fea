#pragma once

#include <cstdint>
#include <string>

#include "journal/journal_entry.h"

namespace kestrel {

struct MovePlaced;

// What a run tells its journal about each move, without knowing the journal's format.
class MoveJournal {
 public:
  virtual ~MoveJournal() = default;
  // Records, before the move, that the file is about to move: written at once when at_once
  // (a move a crash could leave half done: a copy, a .trashinfo before its file), else with
  // the next batch. Returns the entry's number, or 0 with errno set when the journal cannot be
  // written (the file must then not be moved).
  virtual std::uint64_t Intent(const journal::FileFacts& file, bool at_once) = 0;
  // Records where the entry went, or the errno of its failed move.
  virtual void Outcome(std::uint64_t entry, const MovePlaced& placed) = 0;
};

}  // namespace kestrel
