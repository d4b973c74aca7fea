#include "ui/name_field.h"

#include <QListWidgetItem>

namespace kestrel {

namespace {
constexpr int kBytesRole = Qt::UserRole + 1;
}  // namespace

QString ShownName(const std::string& bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void NameField::SetBytes(const std::string& bytes) {
  given_ = bytes;
  given_shown_ = ShownName(bytes);
  setText(given_shown_);
}

std::string NameField::Bytes() const {
  return text() == given_shown_ ? given_ : text().toStdString();
}

void SetItemBytes(QListWidgetItem& item, const std::string& bytes) {
  item.setText(ShownName(bytes));
  item.setData(kBytesRole, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string ItemBytes(const QListWidgetItem& item) {
  const QByteArray bytes = item.data(kBytesRole).toByteArray();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace kestrel
