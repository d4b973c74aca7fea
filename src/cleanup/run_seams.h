#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "config/removed_file.h"
#include "fs/win32_wrapper.h"
#include "journal/purge.h"
#include "platform/date_time.h"

namespace kestrel {

class ScannedFolders;

// A file a preview listed, and where it stood then.
struct ListedFile {
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  bool purge = false;  // a quarantine item the run's purge may delete, not a file to move
};

// How a run's loop ended.
enum class RunEnd {
  kCompleted,
  kClockRefused,
  kMegabyteLimit,
  kErrorLimit,
  kStoppedByUser,
  kStoppedBySignal,
};

// Where a run records what it did. A real run writes the log, the two reports and the last
// run date; a preview keeps what it is told and writes nothing.
class RunRecorder {
 public:
  virtual ~RunRecorder() = default;
  // The run begins (the log starts afresh).
  virtual void Started() = 0;
  // The clock stands at or before the last run: the run ends with this text.
  virtual void Refused(const std::string& text) = 0;
  // The clock check passed: now becomes the last run date. Throws KsError when it cannot.
  virtual void Passed(DateTime last_run, DateTime now) = 0;
  // Discovery lists a folder; logged when its "Scanning Folder: " line is due.
  virtual void FolderScanned(const std::string& folder, bool logged) = 0;
  // Lets the folder's "Scanning Folder: " line wait to be written with the lines of the folders
  // after it; returns false when it was not held (this recorder holds none, or the log takes no
  // more lines). A held folder is counted by FolderScanned(folder, false) once its line is out.
  virtual bool HoldFolderLine(const std::string& /*folder*/) { return false; }
  // Writes the held lines and tells the outcome of each, in order (see LogFile::WriteHeld).
  virtual void WriteHeldLines(const std::function<void(std::exception_ptr)>& /*outcome*/) {}
  // A warning; logged when it belongs in the log as well as in the warning report.
  virtual void Warning(const std::string& text, bool logged) = 0;
  virtual void FileMoved(const RemovedFilePtr& record) = 0;
  // An item purged from the quarantine (a preview: one that would be).
  virtual void Purged(const journal::PurgeItem& item) { (void)item; }
  // The end-of-run purge is over.
  virtual void PurgeEnded(const journal::PurgeResult& result) { (void)result; }
  // A limit ends the loop with this text.
  virtual void Stopped(RunEnd why, const std::string& text) = 0;
  // The summary lines of a run that went through its loop.
  virtual void Summary(const std::vector<std::string>& lines) = 0;
  // Returns true iff the user asked the run to end; asked in the scan and between two files.
  virtual bool StopRequested() const { return false; }
  // The signal that asked the run to end (SIGTERM, SIGINT, SIGHUP), or 0.
  virtual int StopSignal() const { return 0; }
  // Discovery is done: files_due files carry a removal date that has come.
  virtual void Discovered(std::int64_t /*files_due*/) {}
};

// One move the run decided on, after its read-only and space checks.
struct MoveRequest {
  const std::string& path;
  const Win32Wrapper::FileInfo& info;  // what the judgement read (lstat)
  const std::string& to_folder;        // empty: the Trash
  bool copies;                         // to another file system: the move takes room there
  const ScannedFolders& scanned;       // the folders the scan found candidates in
};

// The steps of a run that change the disk. A real run moves; a preview only takes note, so
// that what it would have moved reads as gone and the room it would have taken as taken.
class Mover {
 public:
  virtual ~Mover() = default;
  // The run, begun at start, is about to scan these include folders.
  virtual void Starting(const std::vector<std::string>& includes, DateTime start) {
    (void)includes, (void)start;
  }
  // Creates the last level of the quarantine folder. Throws KsError when it cannot.
  virtual void CreateFolder(const std::string& folder) = 0;
  // How many judged files the run hands to Announce at a time (1: no announcements needed).
  virtual size_t BatchSize() const { return 1; }
  // The files, in order, that the run is about to move; before any of them moves.
  virtual void Announce(const std::vector<std::pair<std::string, Win32Wrapper::FileInfo>>& files) {
    (void)files;
  }
  // Returns true iff the file was moved.
  virtual bool Move(const MoveRequest& request) = 0;
  // The announced files not handed to Move since the last Announce will not be moved.
  virtual void BatchEnd() {}
  // Returns true iff the path's Move is held: copied, its source still there until a group of
  // copies is made durable, when Settle (or BatchEnd) finishes it.
  virtual bool Holds(const std::string& path) const {
    (void)path;
    return false;
  }
  // Finishes the held moves; returns, in the order of their Moves, 0 for each that ended moved
  // or the errno that ended it.
  virtual std::vector<int> Settle() { return {}; }
  // Bytes a move may take in the folder's file system; 0 when unknown.
  virtual std::uint64_t AvailableSpace(const std::string& folder) = 0;
  // Returns true iff an earlier Move took the path (or a folder above it) away while the disk
  // still shows it.
  virtual bool MovedAway(const std::string& path) const = 0;
  // Purges the quarantine's due items at the run's end (those listed accepts, when given); a
  // preview only lists them.
  virtual journal::PurgeResult Purge(const journal::PurgeSetup& setup,
                                     const journal::PurgeEvents& events,
                                     const std::function<bool(const journal::PurgeItem&)>& listed) {
    (void)setup, (void)events, (void)listed;
    return {};
  }
};

}  // namespace kestrel
