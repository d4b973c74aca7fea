#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kestrel {

// The first application-defined error number, carried by every error Kestrel raises itself.
inline constexpr std::int32_t kAppError = static_cast<std::int32_t>(0x80040001u);

// A failure on its way to a reporting handler: number, description and the raiser's name.
// Failed system calls carry their errno as the number.
class KsError : public std::runtime_error {
 public:
  KsError(std::int32_t number, std::string description, std::string source)
      : std::runtime_error(description),
        number_(number),
        description_(std::move(description)),
        source_(std::move(source)) {}

  std::int32_t Number() const { return number_; }
  const std::string& Description() const { return description_; }
  const std::string& Source() const { return source_; }

 private:
  std::int32_t number_;
  std::string description_;
  std::string source_;
};

// An error for a failed system call: errno as the number, the call and path in the description.
KsError SystemError(int err, const std::string& call, const std::string& path,
                    const std::string& source);

}  // namespace kestrel
