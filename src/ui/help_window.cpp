#include "ui/help_window.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QVariant>

// The resources live in a static library: nothing would pull them in without this reference.
static void LoadHelpResources() {
  Q_INIT_RESOURCE(help);
}

namespace kestrel {

namespace {

constexpr char kHelpContextProperty[] = "helpContext";

QString& HelpFilePath() {
  static QString path = QStringLiteral(":/help/contents.html");
  return path;
}

QString PageOf(int context) {
  if ((context >= 10 && context <= 18) || context == 57) return QStringLiteral("options.html");
  if (context >= 19 && context <= 23) return QStringLiteral("include.html");
  if (context >= 24 && context <= 28) return QStringLiteral("exclude.html");
  if (context == 29 || context == 55 || context == 56) return QStringLiteral("run.html");
  return {};
}

}  // namespace

void SetHelpContext(QWidget* widget, int context) {
  widget->setProperty(kHelpContextProperty, context);
}

int HelpContextOf(const QWidget* widget) {
  for (; widget; widget = widget->parentWidget()) {
    const QVariant value = widget->property(kHelpContextProperty);
    if (value.isValid() && value.toInt() != 0) return value.toInt();
  }
  return 0;
}

void SetHelpFile(const QString& contents_page) {
  HelpFilePath() = contents_page;
}

QUrl HelpUrl(int context) {
  const QUrl contents = QUrl::fromLocalFile(HelpFilePath());
  QUrl url = contents;
  if (HelpFilePath().startsWith(QLatin1Char(':'))) {
    url = QUrl(QStringLiteral("qrc") + HelpFilePath());
  }
  const QString page = PageOf(context);
  if (page.isEmpty()) return url;
  url = url.resolved(QUrl(page));
  url.setFragment(QStringLiteral("ctx%1").arg(context));
  return url;
}

HelpWindow::HelpWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
  LoadHelpResources();
  setWindowTitle(QStringLiteral("Kestrel Help"));
  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("helpBrowser"));
  browser_->setOpenExternalLinks(true);
  auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
  auto* back = new QPushButton(QStringLiteral("&Back"), this);
  auto* forward = new QPushButton(QStringLiteral("&Forward"), this);
  back->setEnabled(false);
  forward->setEnabled(false);
  connect(contents, &QPushButton::clicked, this, [this] { ShowContext(0); });
  connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(contents);
  buttons->addWidget(back);
  buttons->addWidget(forward);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(browser_);
  resize(560, 480);
}

void HelpWindow::ShowContext(int context) {
  browser_->setSource(HelpUrl(context));
  show();
  raise();
  activateWindow();
}

}  // namespace kestrel
