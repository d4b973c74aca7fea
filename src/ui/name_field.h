#pragma once

#include <QLineEdit>
#include <string>

class QListWidgetItem;

namespace kestrel {

// The text shown for a name's bytes; bytes that are no UTF-8 show as U+FFFD.
QString ShownName(const std::string& bytes);

// A line edit for a name that is bytes, not text. What it was given keeps its bytes while the
// field still shows the text they produced; once edited, it holds what was typed (UTF-8).
class NameField : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

  // Shows the bytes (the field's change signal fires as for setText).
  void SetBytes(const std::string& bytes);
  std::string Bytes() const;

 private:
  std::string given_;
  QString given_shown_;
};

// A list entry's name kept beside its display text, so that the name is never read back from
// the text shown.
void SetItemBytes(QListWidgetItem& item, const std::string& bytes);
std::string ItemBytes(const QListWidgetItem& item);

}  // namespace kestrel
