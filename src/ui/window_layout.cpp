#include "ui/window_layout.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "ui/twips.h"

namespace kestrel {

void SetDesignMinimum(QWidget& widget, int width_twips, int height_twips) {
  const double dpi = widget.logicalDpiX();
  widget.setMinimumSize(TwipsToPixels(width_twips, dpi), TwipsToPixels(height_twips, dpi));
}

void FitToScreen(QWidget& window) {
  QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect room = screen->availableGeometry();
  // The frame the window manager adds is not known before the window is shown; leave room.
  const QSize frame(16, 48);
  const QSize fitted = window.size().boundedTo(room.size() - frame);
  window.setMinimumSize(window.minimumSize().boundedTo(fitted));
  window.resize(fitted);
  QRect placed = window.frameGeometry();
  placed.moveLeft(std::clamp(placed.left(), room.left(), room.right() - placed.width() + 1));
  placed.moveTop(std::clamp(placed.top(), room.top(), room.bottom() - placed.height() + 1));
  window.move(placed.topLeft());
}

QLabel* NewErrorLabel(const QString& object_name) {
  auto* label = new QLabel;
  label->setObjectName(object_name);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(0xc0, 0x1c, 0x28));
  label->setPalette(palette);
  label->hide();
  return label;
}

void MakeCompact(QPushButton& button) {
  const int width =
      button.fontMetrics().horizontalAdvance(button.text()) + button.fontMetrics().height();
  button.setFixedWidth(std::max(width, button.sizeHint().height()));
}

int DesignSpacing(const QWidget& widget) {
  return TwipsToPixels(120, widget.logicalDpiX());
}

}  // namespace kestrel
