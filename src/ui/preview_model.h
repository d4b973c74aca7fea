#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "preview/preview.h"

namespace kestrel {

// The files a preview would move, one row each: file (control bytes escaped), removal date,
// size, destination. Sorts
// through Qt::UserRole, which holds the raw value (path bytes, seconds, bytes).
class PreviewModel : public QAbstractTableModel {
 public:
  enum Column { kFile, kRemovalDate, kSize, kDestination, kColumns };

  using QAbstractTableModel::QAbstractTableModel;

  // Takes the moves of the result, in the run's order; O(rows).
  void SetMoves(const std::vector<PreviewItem>& items);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Row {
    QString file;
    QString date;
    qint64 date_seconds;
    qint64 size;
    QString destination;
  };
  std::vector<Row> rows_;
};

}  // namespace kestrel
