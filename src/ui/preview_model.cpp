#include "ui/preview_model.h"

#include <QLocale>

#include "platform/escape_text.h"

namespace kestrel {

void PreviewModel::SetMoves(const std::vector<PreviewItem>& items) {
  beginResetModel();
  rows_.clear();
  rows_.reserve(items.size());
  // Rows mostly share their date and destination: each text is made once and shared.
  DateTime last_date;
  QString date, destination;
  const std::string* last_destination = nullptr;
  for (const PreviewItem& item : items) {
    if (item.kind != PreviewItem::Kind::kMove) continue;
    if (rows_.empty() || item.removal_date != last_date) {
      last_date = item.removal_date;
      date = QString::fromStdString(last_date.ToIsoText().substr(0, 10));
    }
    if (last_destination == nullptr || item.destination != *last_destination) {
      last_destination = &item.destination;
      destination = item.destination.empty() ? QStringLiteral("Trash")
                                             : QString::fromStdString(item.destination);
    }
    rows_.push_back({QString::fromStdString(EscapeControlBytes(item.path)), date,
                     item.removal_date.Seconds(), item.size, destination});
  }
  endResetModel();
}

int PreviewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PreviewModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& row = rows_[static_cast<size_t>(index.row())];
  if (role == Qt::TextAlignmentRole && index.column() == kSize) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole && role != Qt::UserRole) return {};
  const bool raw = role == Qt::UserRole;
  switch (index.column()) {
    case kFile:
      return row.file;
    case kRemovalDate:
      return raw ? QVariant(row.date_seconds) : QVariant(row.date);
    case kSize:
      return raw ? QVariant(row.size) : QVariant(QLocale().toString(row.size));
    case kDestination:
      return row.destination;
  }
  return {};
}

QVariant PreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kFile:
      return QStringLiteral("File");
    case kRemovalDate:
      return QStringLiteral("Removal date");
    case kSize:
      return QStringLiteral("Size (bytes)");
    case kDestination:
      return QStringLiteral("Destination");
  }
  return {};
}

}  // namespace kestrel
