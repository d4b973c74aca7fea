#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;

namespace kestrel {

class IReport;

// frmReportView: one report's name in the caption, its description, a divider and its text in
// a read-only fixed-pitch box that follows the window's size. Layout sizes are in twips.
class ReportView final : public QDialog {
  Q_OBJECT

 public:
  explicit ReportView(QWidget* owner = nullptr);

  // Stores the report; nothing is shown until Load.
  void SetReport(IReport* report) { report_ = report; }
  // Fills the window from the report; with none set it keeps "(No Report Loaded)". A failure of
  // the report passes to the caller.
  void Load();

  QLabel* Description() const { return description_; }
  QFrame* Divider() const { return divider_; }
  QPlainTextEdit* ReportBox() const { return report_box_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  int ToPixelsX(double twips) const;
  int ToPixelsY(double twips) const;

  IReport* report_ = nullptr;
  QLabel* description_;
  QFrame* divider_;
  QPlainTextEdit* report_box_;
};

}  // namespace kestrel
