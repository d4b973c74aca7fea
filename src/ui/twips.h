#pragma once

#include <QRect>
#include <cmath>

namespace kestrel {

inline constexpr int kTwipsPerInch = 1440;

// Pixels for a length in twips at the given logical DPI, to the nearest pixel.
inline int TwipsToPixels(int twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

// Edges are rounded, not sizes, so that controls that touch in twips touch on screen too.
inline QRect TwipsToRect(int left, int top, int width, int height, double dpi) {
  const int x = TwipsToPixels(left, dpi);
  const int y = TwipsToPixels(top, dpi);
  return QRect(x, y, TwipsToPixels(left + width, dpi) - x, TwipsToPixels(top + height, dpi) - y);
}

}  // namespace kestrel
