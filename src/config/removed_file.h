#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/date_time.h"

namespace kestrel {

// The record of one attempt to remove an expired file, shared (not copied) by the
// configuration's RemovedFiles and, for a moved file, by the file removal report.
class RemovedFile {
 public:
  const std::string& OriginalFilename() const { return original_filename_; }
  void OriginalFilename(std::string v) { original_filename_ = std::move(v); }
  bool FileMoved() const { return file_moved_; }
  void FileMoved(bool v) { file_moved_ = v; }
  bool FileIsReadOnly() const { return file_is_read_only_; }
  void FileIsReadOnly(bool v) { file_is_read_only_ = v; }
  bool AccessDenied() const { return access_denied_; }
  void AccessDenied(bool v) { access_denied_ = v; }
  bool InsufficientSpace() const { return insufficient_space_; }
  void InsufficientSpace(bool v) { insufficient_space_ = v; }
  // Bytes; 64-bit so that files of 2 GiB and more count right.
  std::int64_t FileSize() const { return file_size_; }
  void FileSize(std::int64_t v) { file_size_ = v; }
  DateTime FileCreationDate() const { return file_creation_date_; }
  void FileCreationDate(DateTime v) { file_creation_date_ = v; }

 private:
  std::string original_filename_;
  bool file_moved_ = false;
  bool file_is_read_only_ = false;
  bool access_denied_ = false;
  bool insufficient_space_ = false;
  std::int64_t file_size_ = 0;
  DateTime file_creation_date_;
};

using RemovedFilePtr = std::shared_ptr<RemovedFile>;

}  // namespace kestrel
