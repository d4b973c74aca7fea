#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

namespace kestrel {

// One page of the main window's tab control. Its controls are placed in twips measured from the
// tab control's own top-left corner, as the window was designed, whatever the height of the
// tab bar above the page.
class TabPage : public QWidget {
 public:
  explicit TabPage(QWidget* tab_control);

  void Place(QWidget* control, int left, int top, int width, int height);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Relayout();

  struct Spot {
    QPointer<QWidget> control;
    int left, top, width, height;
  };
  QWidget* tab_control_;
  std::vector<Spot> spots_;
};

}  // namespace kestrel
