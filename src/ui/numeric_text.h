#pragma once

#include <QString>
#include <QValidator>
#include <cstdint>
#include <optional>

namespace kestrel {

// The value of a limit field: decimal digits only, 0 to 2,147,483,647. nullopt for anything
// else, the empty text and a sign included.
std::optional<std::int32_t> LimitOf(const QString& text);

// Lets only digits be typed. A text the field was given (a negative number read from a file)
// stays editable.
class DigitsValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override;
};

}  // namespace kestrel
