#include "cleanup/removal_date.h"

#include "cleanup/path_text.h"

namespace kestrel {
namespace {

bool Digits(std::string_view s) {
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int Number(std::string_view digits) {
  int n = 0;
  for (char c : digits) n = n * 10 + (c - '0');
  return n;
}

}  // namespace

std::optional<DateTime> ReadMarkDate(std::string_view text) {
  if (text.size() != kMarkDateLength || text[2] != '-' || text[5] != '-') return std::nullopt;
  const auto month = text.substr(0, 2), day = text.substr(3, 2), year = text.substr(6, 4);
  if (!Digits(month) || !Digits(day) || !Digits(year)) return std::nullopt;
  return DateTime::FromCivil(Number(year), Number(month), Number(day));
}

std::optional<DateTime> RemovalDateIn(std::string_view path, std::string_view token) {
  const size_t at = FindIgnoreCase(path, token);
  if (at == std::string_view::npos) return std::nullopt;
  return ReadMarkDate(path.substr(at + token.size()).substr(0, kMarkDateLength));
}

}  // namespace kestrel
