#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace kestrel {

// Rounds to the nearest whole number, a half to the even neighbour (2.5 gives 2, 3.5 gives 4).
double RoundHalfEven(double value);

// The whole number a numeric field stands for, read in the user's number format (blanks around
// it, a sign, decimal and group separators, an exponent) and rounded half to even. nullopt when
// the text is no finite number or the rounded value does not fit 32 signed bits.
std::optional<std::int32_t> WholeNumberOf(const QString& text);

}  // namespace kestrel
