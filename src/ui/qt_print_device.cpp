#include "ui/qt_print_device.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPrinter>
#include <cmath>

#include "platform/error.h"

namespace kestrel {

QFont FixedPitchFont(const QString& family, double points) {
  QFont font(family);
  font.setStyleHint(QFont::TypeWriter);
  if (!QFontInfo(font).fixedPitch()) font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSizeF(points);
  return font;
}

QtPrintDevice::QtPrintDevice(std::unique_ptr<QPrinter> printer) : printer_(std::move(printer)) {}

QtPrintDevice::~QtPrintDevice() {
  if (painter_.isActive()) painter_.end();
}

double QtPrintDevice::PixelsPerTwip() const {
  return printer_->resolution() / 1440.0;
}

void QtPrintDevice::SetFont(const std::string& name, double points) {
  font_ = FixedPitchFont(QString::fromStdString(name), points);
  if (painter_.isActive()) painter_.setFont(font_);
}

int QtPrintDevice::PageWidth() const {
  // Millimetres, not points: Qt keeps ISO sizes exact in millimetres but rounds them in points.
  const double mm = printer_->pageLayout().fullRect(QPageLayout::Millimeter).width();
  return static_cast<int>(std::lround(mm * 1440.0 / 25.4));
}

float QtPrintDevice::PrintableWidth() const {
  const int resolution = printer_->resolution();
  return static_cast<float>(printer_->pageLayout().paintRectPixels(resolution).width() /
                            PixelsPerTwip());
}

float QtPrintDevice::TextWidth(const std::string& text) const {
  const QFontMetricsF metrics(font_, printer_.get());
  return static_cast<float>(metrics.horizontalAdvance(QString::fromStdString(text)) /
                            PixelsPerTwip());
}

void QtPrintDevice::PrintLine(const std::string& text) {
  const QStringList pieces = QString::fromStdString(text).split(QLatin1Char('\n'));
  for (const QString& piece : pieces) PrintPiece(piece);
}

void QtPrintDevice::PrintPiece(const QString& piece) {
  if (!painter_.isActive()) {
    if (!painter_.begin(printer_.get())) {
      throw KsError(kAppError, "The printer cannot start the document", "QtPrintDevice");
    }
    painter_.setFont(font_);
    y_ = 0;
  }
  const QFontMetricsF metrics(font_, printer_.get());
  const double page_height =
      printer_->pageLayout().paintRectPixels(printer_->resolution()).height();
  if (y_ > 0 && y_ + metrics.height() > page_height) {
    if (!printer_->newPage()) {
      throw KsError(kAppError, "The printer cannot start a new page", "QtPrintDevice");
    }
    y_ = 0;
  }
  painter_.drawText(QPointF(x_ * PixelsPerTwip(), y_ + metrics.ascent()), piece);
  y_ += metrics.lineSpacing();
  x_ = 0;
}

void QtPrintDevice::EndDoc() {
  if (painter_.isActive() && !painter_.end()) {
    throw KsError(kAppError, "The printer could not finish the document", "QtPrintDevice");
  }
}

}  // namespace kestrel
