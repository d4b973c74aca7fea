#pragma once

#include <cstddef>
#include <cstring>

#include "fs/sys.h"

namespace kestrel {

inline constexpr size_t kDirentBufferSize = 64 * 1024;

// This thread's buffer for raw directory records.
char* DirentBuffer();

// Calls fn(name, length, d_type) for each entry of the open folder but "." and "..", in
// file-system order. fn must not read folders itself: the buffer is shared. Returns false iff
// the folder could not be read to its end (errno set).
template <typename Fn>
bool ForEachEntry(Sys& sys, int fd, Fn&& fn) {
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
  }
}

}  // namespace kestrel
