#include "ui/tab_page.h"

#include "ui/twips.h"

namespace kestrel {

TabPage::TabPage(QWidget* tab_control) : tab_control_(tab_control) {}

void TabPage::Place(QWidget* control, int left, int top, int width, int height) {
  control->setParent(this);
  spots_.push_back({control, left, top, width, height});
  Relayout();
}

void TabPage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Relayout();
}

void TabPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Relayout();
}

void TabPage::Relayout() {
  const QPoint offset =
      tab_control_->isAncestorOf(this) ? mapTo(tab_control_, QPoint(0, 0)) : QPoint(0, 0);
  const double dpi = logicalDpiX();
  for (const Spot& spot : spots_) {
    if (!spot.control) continue;
    spot.control->setGeometry(
        TwipsToRect(spot.left, spot.top, spot.width, spot.height, dpi).translated(-offset));
  }
}

}  // namespace kestrel
