#include "fs/dir_entries.h"

#include <linux/magic.h>

#include <memory>

namespace kestrel {

char* DirentBuffer() {
  // 8-byte records: the buffer must be aligned like them.
  struct alignas(8) Block {
    char bytes[kDirentBufferSize];
  };
  thread_local std::unique_ptr<Block> block = std::make_unique<Block>();
  return block->bytes;
}

bool FillsReads(Sys& sys, int fd) {
  struct statfs st {};
  return sys.FStatFs(fd, &st) == 0 && (st.f_type == EXT4_SUPER_MAGIC || st.f_type == TMPFS_MAGIC);
}

}  // namespace kestrel
