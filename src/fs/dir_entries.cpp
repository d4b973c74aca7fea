#include "fs/dir_entries.h"

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

}  // namespace kestrel
