#pragma once

#include <cstddef>
#include <cstring>

#include "fs/sys.h"

namespace kestrel {

inline constexpr size_t kDirentBufferSize = 64 * 1024;
// The longest record getdents64 can return: its header, a 255-byte name and the NUL, aligned.
inline constexpr size_t kLongestDirent = 280;

// This thread's buffer for raw directory records.
char* DirentBuffer();
// Whether every read of a folder on fd's file system fills the buffer as far as the folder's
// entries go: ext2/3/4 and tmpfs. Not a network or FUSE file system, whose reads may stop short.
bool FillsReads(Sys& sys, int fd);

// Calls fn(name, length, d_type) for each entry of the open folder but "." and "..", in
// file-system order. fn must not read folders itself: the buffer is shared. Returns false iff
// the folder could not be read to its end (errno set). With fills_reads, the file system is
// one whose every read fills the buffer up to its last entry (FillsReads), so that a read
// with room left for the longest record was the last, and the call that would say so is saved.
template <typename Fn>
bool ForEachEntry(Sys& sys, int fd, Fn&& fn, bool fills_reads = false) {
  // Layout of struct linux_dirent64: ino (8), off (8), reclen (2), type (1), name.
  constexpr size_t kReclen = 16, kType = 18, kName = 19;
  char* const buf = DirentBuffer();
  while (true) {
    const ssize_t n = sys.GetDents64(fd, buf, kDirentBufferSize);
    if (n <= 0) return n == 0;
    for (size_t pos = 0; pos < static_cast<size_t>(n);) {
      unsigned short reclen;
      std::memcpy(&reclen, buf + pos + kReclen, sizeof reclen);
      const char* name = buf + pos + kName;
      const auto type = static_cast<unsigned char>(buf[pos + kType]);
      pos += reclen;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      fn(name, std::strlen(name), type);
    }
    if (fills_reads && static_cast<size_t>(n) + kLongestDirent <= kDirentBufferSize) return true;
  }
}

}  // namespace kestrel
