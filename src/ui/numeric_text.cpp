#include "ui/numeric_text.h"

#include <limits>

namespace kestrel {

std::optional<std::int32_t> LimitOf(const QString& text) {
  if (text.isEmpty()) return std::nullopt;
  std::int64_t value = 0;
  for (QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    value = value * 10 + (c.unicode() - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

QValidator::State DigitsValidator::validate(QString& input, int&) const {
  bool digits = true;
  for (qsizetype i = 0; i < input.size(); ++i) {
    const QChar c = input[i];
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) continue;
    if (i == 0 && c == QLatin1Char('-')) {
      digits = false;
      continue;
    }
    return Invalid;
  }
  return digits ? Acceptable : Intermediate;
}

}  // namespace kestrel
