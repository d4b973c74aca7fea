// The .trashinfo reader: any text is read without fault; a file's origin, written by Kestrel's
// writer, reads back byte for byte; a later group never changes the origin a file names.
#include <string>

#include "fs/trash_info.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  const std::string_view in = kestrel::fuzz::Text(data, size);

  if (!in.empty() && in.find('\0') == std::string_view::npos) {
    const std::string text = kestrel::TrashInfoText(in, "2026-12-06T10:00:00");
    FUZZ_CHECK(kestrel::TrashInfoPath(text) == std::string(in), "the written origin reads back");
    FUZZ_CHECK(text.find('\n', text.find("Path=")) == text.find("\nDeletionDate="),
               "the origin stays on its own line");
  }
  if (const auto path = kestrel::TrashInfoPath(in)) {
    FUZZ_CHECK(!path->empty(), "an origin is never empty");
    const std::string longer = std::string(in) + "\n[Other Group]\nPath=/elsewhere\n";
    FUZZ_CHECK(kestrel::TrashInfoPath(longer) == path, "a later group changes nothing");
  }
  return 0;
}
