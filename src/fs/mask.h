#pragma once

#include <string_view>
#include <vector>

namespace kestrel {

// Returns true iff the whole text fits one of the ";"-separated patterns ("*" any run, "?" one
// byte, ASCII case ignored; blanks before a pattern are skipped).
bool MatchesMask(std::string_view text, std::string_view mask);

// A mask taken apart once, for the many names of a folder. It refers to the mask's text.
class Mask {
 public:
  explicit Mask(std::string_view mask);
  // MatchesMask(text, the mask).
  bool Matches(std::string_view text) const;

 private:
  struct Pattern {
    std::string_view text;
    size_t least;  // the bytes a text needs at least
  };
  std::vector<Pattern> patterns_;
};

}  // namespace kestrel
