#pragma once

#include <QString>

class QGridLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace kestrel {

// Layout rules every Kestrel window follows: the desktop's font, a size that grows from the
// design's, and no window larger than the screen it opens on.

// The design's size in twips becomes the widget's minimum, at its logical DPI.
void SetDesignMinimum(QWidget& widget, int width_twips, int height_twips);
// Shrinks a top-level window to the available room of its screen, and moves it inside it.
void FitToScreen(QWidget& window);
// A hidden label for a field's error, in the style's error colour.
QLabel* NewErrorLabel(const QString& object_name);
// A button no wider than its caption needs, as the design's "..." buttons are.
void MakeCompact(QPushButton& button);
// Spacing of the design: 120 twips around and between controls, at the widget's DPI.
int DesignSpacing(const QWidget& widget);

}  // namespace kestrel
