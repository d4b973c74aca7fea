#include "fs/mask.h"

#include "fs/win32_wrapper.h"

namespace kestrel {
namespace {

inline unsigned char Fold(char c) {
  const auto u = static_cast<unsigned char>(c);
  return static_cast<unsigned>(u - 'A') < 26u ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

// Greedy match that returns to the last "*" on a mismatch: at most text x pattern steps.
bool MatchOne(std::string_view text, std::string_view pattern) {
  size_t t = 0, p = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(text[t]))) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesMask(std::string_view text, std::string_view mask) {
  size_t pos = 0;
  while (true) {
    const size_t semi = mask.find(';', pos);
    std::string_view pattern = mask.substr(pos, semi == std::string_view::npos ? semi : semi - pos);
    while (!pattern.empty() && pattern.front() == ' ') pattern.remove_prefix(1);
    if (MatchOne(text, pattern)) return true;
    if (semi == std::string_view::npos) return false;
    pos = semi + 1;
  }
}

bool Win32Wrapper::PathMatchesSpec(std::string_view path, std::string_view patterns) {
  return MatchesMask(path, patterns);
}

std::string& Win32Wrapper::StripNulls(std::string& text) {
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

}  // namespace kestrel
