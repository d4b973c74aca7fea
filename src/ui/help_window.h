#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace kestrel {

// Help context numbers travel with the controls as a property.
void SetHelpContext(QWidget* widget, int context);
// The number of the widget or else of its nearest ancestor that has one; 0 when none has.
int HelpContextOf(const QWidget* widget);

// The first page of the help; every other page lies beside it. Set once at start.
void SetHelpFile(const QString& contents_page);
// The page and anchor of a help context number; 0 and unknown numbers give the first page.
QUrl HelpUrl(int context);

// Kestrel's help pages, compiled into the program, in a window of their own.
class HelpWindow : public QWidget {
 public:
  explicit HelpWindow(QWidget* owner = nullptr);

  // Shows and raises the window at the page and anchor of the context number.
  void ShowContext(int context);
  QTextBrowser* Browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
};

}  // namespace kestrel
