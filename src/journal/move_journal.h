#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "journal/journal_entry.h"

namespace kestrel {

struct MovePlaced;

// What a run tells its journal about each move, without knowing the journal's format.
class MoveJournal {
 public:
  virtual ~MoveJournal() = default;
  // Records that the files are about to move, durably, before any of them moves. Returns the
  // first entry's number (the others follow in order), or 0 with errno set when the journal
  // cannot be written (the files must then not be moved).
  virtual std::uint64_t Announce(const std::vector<journal::FileFacts>& files) = 0;
  // Records where the entry went, or the errno of its failed move.
  virtual void Outcome(std::uint64_t entry, const MovePlaced& placed) = 0;
};

}  // namespace kestrel
