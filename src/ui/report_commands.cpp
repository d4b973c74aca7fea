#include "ui/report_commands.h"

#include <QDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "reports/report.h"

namespace kestrel {

namespace {

// The viewer's text box as the report writers see it.
class PlainTextBox final : public TextBox {
 public:
  explicit PlainTextBox(QPlainTextEdit* edit) : edit_(edit) {}
  std::string Text() const override { return edit_->toPlainText().toStdString(); }
  void SetText(const std::string& text) override {
    edit_->setPlainText(QString::fromStdString(text));
  }

 private:
  QPlainTextEdit* edit_;
};

}  // namespace

void ShowReport(QWidget* owner, IReport& report) {
  QDialog viewer(owner);
  viewer.setWindowTitle(QString::fromStdString("Kestrel - " + report.Name()));
  auto* description = new QLabel(QString::fromStdString(report.Description()));
  description->setWordWrap(true);
  auto* text = new QPlainTextEdit;
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* layout = new QVBoxLayout(&viewer);
  layout->addWidget(description);
  layout->addWidget(text, 1);
  PlainTextBox box(text);
  report.ViewReport(box);
  viewer.resize(640, 572);
  viewer.exec();
}

void PrintReport(Dialogs& dialogs, IReport& report) {
  report.PrintReport(dialogs);
}

}  // namespace kestrel
