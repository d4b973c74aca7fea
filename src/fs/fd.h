#pragma once

#include <fcntl.h>

#include <utility>

#include "fs/sys.h"

namespace kestrel {

// An owned descriptor, closed through the seam that opened it.
class Fd {
 public:
  Fd() = default;
  Fd(Sys& sys, int fd) : sys_(&sys), fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : sys_(other.sys_), fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      sys_ = other.sys_;
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Gives up ownership without closing.
  int Release() { return std::exchange(fd_, -1); }
  // Closes now; returns the close result (0 when there was nothing to close).
  int Reset() {
    const int fd = std::exchange(fd_, -1);
    return fd >= 0 ? sys_->Close(fd) : 0;
  }

 private:
  Sys* sys_ = nullptr;
  int fd_ = -1;
};

}  // namespace kestrel
