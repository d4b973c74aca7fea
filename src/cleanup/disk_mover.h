#pragma once

#include "cleanup/run_seams.h"
#include "fs/move_ops.h"

namespace kestrel {

class Sys;
class WarningReport;

// A real run's moves. Keeps the destination and the last source folder open between moves;
// refuses a source whose folder is no longer the one the scan listed. A failed move's warning
// goes to warnings.
class DiskMover : public Mover {
 public:
  DiskMover(Sys& sys, WarningReport* warnings) : sys_(sys), warnings_(warnings) {}

  void CreateFolder(const std::string& folder) override;
  bool Move(const MoveRequest& request) override;
  std::uint64_t AvailableSpace(const std::string& folder) override;
  bool MovedAway(const std::string&) const override { return false; }

 private:
  Sys& sys_;
  WarningReport* warnings_;
  MoveCache cache_;
};

}  // namespace kestrel
