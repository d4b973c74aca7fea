#include "fs/mask.h"

#include "fs/win32_wrapper.h"

namespace kestrel {
namespace {

inline unsigned char Fold(char c) {
  const auto u = static_cast<unsigned char>(c);
  return static_cast<unsigned>(u - 'A') < 26u ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

// Where a run after a "*" can start, from t on: the text there must fit the pattern's byte at
// p, unless that is a wildcard. A name is mostly passed over here, one byte at a time.
size_t NextStart(std::string_view text, size_t t, std::string_view pattern, size_t p) {
  if (p >= pattern.size() || pattern[p] == '?' || pattern[p] == '*') return t;
  const unsigned char want = Fold(pattern[p]);
  while (t < text.size() && Fold(text[t]) != want) ++t;
  return t;
}

// Greedy match that returns to the last "*" on a mismatch: at most text x pattern steps.
bool MatchOne(std::string_view text, std::string_view pattern) {
  size_t t = 0, p = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      if (p == pattern.size()) return true;
      t = resume = NextStart(text, t, pattern, p);
    } else if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(text[t]))) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = resume = NextStart(text, resume + 1, pattern, p);
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Calls fn with each ";"-separated pattern, blanks before it skipped, until fn returns true;
// returns whether it did.
template <typename Fn>
bool ForEachPattern(std::string_view mask, Fn fn) {
  size_t pos = 0;
  while (true) {
    const size_t semi = mask.find(';', pos);
    std::string_view pattern = mask.substr(pos, semi == std::string_view::npos ? semi : semi - pos);
    while (!pattern.empty() && pattern.front() == ' ') pattern.remove_prefix(1);
    if (fn(pattern)) return true;
    if (semi == std::string_view::npos) return false;
    pos = semi + 1;
  }
}

}  // namespace

Mask::Mask(std::string_view mask) {
  ForEachPattern(mask, [this](std::string_view pattern) {
    // Every byte of the pattern but a "*" takes one of the text.
    size_t least = 0;
    for (const char c : pattern) least += c == '*' ? 0 : 1;
    patterns_.push_back({pattern, least});
    return false;
  });
}

bool Mask::Matches(std::string_view text) const {
  for (const Pattern& pattern : patterns_) {
    if (text.size() >= pattern.least && MatchOne(text, pattern.text)) return true;
  }
  return false;
}

bool MatchesMask(std::string_view text, std::string_view mask) {
  return ForEachPattern(mask, [text](std::string_view pattern) { return MatchOne(text, pattern); });
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
