#include "ui/report_view.h"

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <algorithm>
#include <cmath>

#include "reports/report.h"
#include "ui/qt_print_device.h"
#include "ui/window_layout.h"

namespace kestrel {
namespace {

struct Box {
  int left, top, width, height;
};
constexpr int kClientWidth = 9600;
constexpr int kClientHeight = 8580;
constexpr Box kDescription{240, 240, 9135, 855};
constexpr Box kDivider{360, 1080, 8775, 135};
constexpr Box kReport{120, 1440, 9375, 6975};

// The viewer's text box as the report writers see it. Lines go in at the end of the document
// so that a long report does not rebuild the whole text for every line.
class PlainTextBox final : public TextBox {
 public:
  explicit PlainTextBox(QPlainTextEdit& edit) : edit_(edit) {}
  std::string Text() const override { return edit_.toPlainText().toStdString(); }
  void SetText(const std::string& text) override {
    edit_.setPlainText(QString::fromStdString(text));
  }
  bool IsEmpty() const override { return edit_.document()->isEmpty(); }
  void Append(const std::string& text) override {
    QTextCursor cursor(edit_.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromStdString(text));
  }

 private:
  QPlainTextEdit& edit_;
};

}  // namespace

ReportView::ReportView(QWidget* owner)
    : QDialog(owner),
      description_(new QLabel(this)),
      divider_(new QFrame(this)),
      report_box_(new QPlainTextEdit(this)) {
  setWindowTitle(QStringLiteral("Kestrel"));
  setWindowFlag(Qt::WindowMinMaxButtonsHint);
  setSizeGripEnabled(true);

  description_->setWordWrap(true);
  description_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  divider_->setFrameShape(QFrame::HLine);
  divider_->setFrameShadow(QFrame::Sunken);

  report_box_->setReadOnly(true);
  report_box_->setLineWrapMode(QPlainTextEdit::NoWrap);
  report_box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  report_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  report_box_->setFont(FixedPitchFont(QStringLiteral("Courier New"), 9.75));
  report_box_->setPlainText(QStringLiteral("(No Report Loaded)\n"));
  report_box_->setFocus();

  description_->setGeometry(ToPixelsX(kDescription.left), ToPixelsY(kDescription.top),
                            ToPixelsX(kDescription.width), ToPixelsY(kDescription.height));
  divider_->setGeometry(ToPixelsX(kDivider.left), ToPixelsY(kDivider.top),
                        ToPixelsX(kDivider.width), ToPixelsY(kDivider.height));
  report_box_->setGeometry(ToPixelsX(kReport.left), ToPixelsY(kReport.top),
                           ToPixelsX(kReport.width), ToPixelsY(kReport.height));
  resize(ToPixelsX(kClientWidth), ToPixelsY(kClientHeight));
  FitToScreen(*this);
}

int ReportView::ToPixelsX(double twips) const {
  return static_cast<int>(std::lround(twips * logicalDpiX() / 1440.0));
}

int ReportView::ToPixelsY(double twips) const {
  return static_cast<int>(std::lround(twips * logicalDpiY() / 1440.0));
}

void ReportView::Load() {
  if (report_ == nullptr) return;
  setWindowTitle(QString::fromStdString("Kestrel - " + report_->Name()));
  description_->setText(QString::fromStdString(report_->Description()));
  PlainTextBox box(*report_box_);
  report_->ViewReport(box);
}

void ReportView::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const double client_width = width() * 1440.0 / logicalDpiX();
  const double client_height = height() * 1440.0 / logicalDpiY();
  // A window narrower than the margins (minimized, say) gives the controls no width at all.
  auto span = [](double twips) { return std::max(0.0, std::round(twips)); };
  description_->resize(ToPixelsX(span(client_width - 2 * kDescription.left)),
                       description_->height());
  divider_->resize(ToPixelsX(span(client_width - 2 * kDivider.left)), divider_->height());
  report_box_->resize(ToPixelsX(span(client_width - 2 * kReport.left)),
                      ToPixelsY(span(client_height - kReport.top - kReport.left)));
}

}  // namespace kestrel
