// The mask matcher against a plain recursive reading of the same rules.
#include <string_view>
#include <vector>

#include "fs/mask.h"
#include "fuzz_support.h"

namespace {

char Fold(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// "*" any run, "?" one byte, ASCII case ignored: memoised over (text, pattern) positions.
bool Reference(std::string_view t, std::string_view p, std::vector<signed char>& memo, size_t ti,
               size_t pi) {
  signed char& m = memo[ti * (p.size() + 1) + pi];
  if (m >= 0) return m;
  bool r;
  if (pi == p.size()) {
    r = ti == t.size();
  } else if (p[pi] == '*') {
    r = Reference(t, p, memo, ti, pi + 1) || (ti < t.size() && Reference(t, p, memo, ti + 1, pi));
  } else {
    r = ti < t.size() && (p[pi] == '?' || Fold(p[pi]) == Fold(t[ti])) &&
        Reference(t, p, memo, ti + 1, pi + 1);
  }
  return m = r;
}

bool ReferenceMask(std::string_view text, std::string_view mask) {
  for (size_t pos = 0;;) {
    const size_t semi = mask.find(';', pos);
    std::string_view pattern = mask.substr(pos, semi == std::string_view::npos ? semi : semi - pos);
    while (!pattern.empty() && pattern.front() == ' ') pattern.remove_prefix(1);
    std::vector<signed char> memo((text.size() + 1) * (pattern.size() + 1), -1);
    if (Reference(text, pattern, memo, 0, 0)) return true;
    if (semi == std::string_view::npos) return false;
    pos = semi + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const auto [text, mask] = kestrel::fuzz::TwoTexts(kestrel::fuzz::Text(data, size));
  const bool match = kestrel::MatchesMask(text, mask);
  FUZZ_CHECK(match == ReferenceMask(text, mask), "the matcher agrees with the plain reading");
  std::string upper = text;
  for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  FUZZ_CHECK(kestrel::MatchesMask(upper, mask) == match, "letter case does not matter");
  if (text.find_first_of("*?;") == std::string::npos && (text.empty() || text.front() != ' '))
    FUZZ_CHECK(kestrel::MatchesMask(text, text), "a plain name is a mask for itself");
  return 0;
}
