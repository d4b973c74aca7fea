#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTest>

#include "ui/about_box.h"
#include "ui/ui_fixture.h"

using namespace kestrel;

namespace {

QString PlainCaption(QString text) {
  return text.remove(QLatin1Char('&'));
}

// Returns the controls whose caption does not fit them.
QStringList Clipped(const QWidget* page) {
  QStringList clipped;
  for (const QLabel* label : page->findChildren<QLabel*>()) {
    if (label->wordWrap() || label->text().isEmpty()) continue;
    const QRect room = label->contentsRect();
    const QFontMetrics metrics = label->fontMetrics();
    if (metrics.horizontalAdvance(label->text()) > room.width() || metrics.height() > room.height())
      clipped << QStringLiteral("%1 (%2x%3 in %4x%5)")
                     .arg(label->text())
                     .arg(metrics.horizontalAdvance(label->text()))
                     .arg(metrics.height())
                     .arg(room.width())
                     .arg(room.height());
  }
  for (const QCheckBox* box : page->findChildren<QCheckBox*>()) {
    const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                          box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
    if (box->fontMetrics().horizontalAdvance(box->text()) + indicator > box->width())
      clipped << box->text();
  }
  for (const QPushButton* button : page->findChildren<QPushButton*>()) {
    const QFontMetrics metrics = button->fontMetrics();
    if (metrics.horizontalAdvance(PlainCaption(button->text())) > button->width() - 4 ||
        metrics.height() > button->height())
      clipped << button->text();
  }
  for (const QLineEdit* field : page->findChildren<QLineEdit*>()) {
    if (field->fontMetrics().height() > field->height() - 4) clipped << field->objectName();
  }
  return clipped;
}

void Save(const QPixmap& picture, const QString& name) {
  const QString folder = qEnvironmentVariable("KESTREL_SCREENSHOTS");
  if (folder.isEmpty()) return;
  QDir().mkpath(folder);
  const int percent = qRound(picture.devicePixelRatio() * 100);
  QVERIFY(picture.save(QStringLiteral("%1/%2-%3.png").arg(folder, name).arg(percent)));
}

}  // namespace

class ScreenshotsTest : public QObject {
  Q_OBJECT

 private slots:
  // Every caption fits its control and every label sits level with its field.
  void layoutFits() {
    TestProgram program;
    KestrelCfg& cfg = *program.fn.CurrentCfg;
    cfg.IncludeFolders().emplace_back("/home/ann/Documents", true);
    cfg.IncludeFolders().emplace_back("/srv/shared/projects", false);
    cfg.ExcludeFolders().emplace_back("/home/ann/Documents/keep", true);
    TestWindow view(program);
    auto* tabs = view.Find<QTabWidget>("tsTabStrip");
    const char* names[] = {"options", "include", "exclude", "run"};
    for (int index = 0; index < tabs->count(); ++index) {
      tabs->setCurrentIndex(index);
      QWidget* page = tabs->widget(index);
      QVERIFY2(Clipped(page).isEmpty(), qPrintable(Clipped(page).join(QStringLiteral(", "))));
      QVERIFY(page->contentsRect().contains(page->childrenRect()));
      Save(view.window.grab(), QString::fromUtf8(names[index]));
    }
    tabs->setCurrentIndex(0);
    for (const QLabel* label : tabs->widget(0)->findChildren<QLabel*>()) {
      const int row_center = label->geometry().center().y();
      bool level = false;
      for (const QLineEdit* edit : tabs->widget(0)->findChildren<QLineEdit*>()) {
        level = level || std::abs(edit->geometry().center().y() - row_center) <= 2;
      }
      QVERIFY2(level, qPrintable(label->text()));
    }
    AboutBox& about = view.window.About();
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QVERIFY2(Clipped(&about).isEmpty(), qPrintable(Clipped(&about).join(QStringLiteral(", "))));
    Save(about.grab(), QStringLiteral("about"));
  }

  // The same checks in a fresh process that draws at twice the scale.
  void layoutFitsAtTwiceTheScale_data() {
    QTest::addColumn<QString>("variable");
    QTest::newRow("device pixel ratio 2") << "QT_SCALE_FACTOR=2";
    QTest::newRow("192 dpi") << "QT_FONT_DPI=192";
  }
  void layoutFitsAtTwiceTheScale() {
    QFETCH(QString, variable);
    if (qEnvironmentVariableIsSet("KESTREL_SCALED_RUN")) QSKIP("already the scaled run");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    env.insert(QStringLiteral("KESTREL_SCALED_RUN"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("layoutFits")});
    QVERIFY(child.waitForFinished(120000));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             child.readAll().constData());
  }
};

QTEST_MAIN(ScreenshotsTest)
#include "screenshots_test.moc"
