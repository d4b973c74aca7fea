#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/functions.h"
#include "platform/clock.h"
#include "platform/error_reporter.h"

namespace kestrel::fuzz {

// A broken property is a crash, so that libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(cond, what)                                                         \
  do {                                                                                 \
    if (!(cond)) {                                                                     \
      std::fprintf(stderr, "property broken: %s (%s:%d)\n", what, __FILE__, __LINE__); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

// Decodes each sequence to its code point, independently of the code under test: no overlong
// form, no surrogate, nothing above U+10FFFF.
inline bool ValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = cp << 6 | (t & 0x3F);
    }
    static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

inline std::string_view Text(const std::uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Splits the input at its first NUL byte: two independent texts from one input.
inline std::pair<std::string, std::string> TwoTexts(std::string_view in) {
  const size_t nul = in.find('\0');
  if (nul == std::string_view::npos) return {std::string(in), ""};
  return {std::string(in.substr(0, nul)), std::string(in.substr(nul + 1))};
}

class FixedClock : public Clock {
 public:
  DateTime Now() const override { return *DateTime::FromCivil(2026, 12, 6, 10, 0, 0); }
};

class CountingReporter : public ErrorReporter {
 public:
  std::int32_t ReportError(std::int32_t, const std::string&, const std::string&, std::int32_t,
                           const std::string&, const std::string&) override {
    ++count;
    return 0;
  }
  int count = 0;
};

// A folder of this process's own for the files a target reads and writes, in memory when the
// machine has /dev/shm.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string path = base + "/kestrel-fuzz-XXXXXX";
    if (mkdtemp(path.data()) == nullptr) std::abort();
    return path;
  }();
  // libFuzzer ends a timed run with exit(); registered after the folder's name exists, this
  // runs before that name is destroyed.
  static const int removed_at_exit = std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(ScratchFolder(), ignored);
  });
  (void)removed_at_exit;
  return folder;
}

inline void WriteWhole(const std::string& path, std::string_view text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

}  // namespace kestrel::fuzz
