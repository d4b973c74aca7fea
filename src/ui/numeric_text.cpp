#include "ui/numeric_text.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace kestrel {

double RoundHalfEven(double value) {
  const double down = std::floor(value);
  const double fraction = value - down;
  if (fraction < 0.5) return down;
  if (fraction > 0.5) return down + 1;
  return std::fmod(down, 2.0) == 0 ? down : down + 1;
}

std::optional<std::int32_t> WholeNumberOf(const QString& text) {
  bool ok = false;
  const double value = QLocale::system().toDouble(text, &ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  const double whole = RoundHalfEven(value);
  if (whole < std::numeric_limits<std::int32_t>::min() ||
      whole > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(whole);
}

}  // namespace kestrel
