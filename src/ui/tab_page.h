#pragma once

#include <QWidget>

namespace kestrel {

// One page of the main window's tab control.
class TabPage : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

 signals:
  // The page changed the current configuration.
  void Edited();
};

}  // namespace kestrel
