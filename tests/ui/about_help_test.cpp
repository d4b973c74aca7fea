#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>

#include "ui/about_box.h"
#include "ui/help_window.h"
#include "ui/ui_fixture.h"

using namespace kestrel;

class AboutHelpTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestProgram> program_;
  std::unique_ptr<TestWindow> view_;
  QByteArray saved_path_;

  void WriteScript(const QString& folder, const QString& name, const QString& marker) {
    QFile script(folder + QLatin1Char('/') + name);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\n: > '%1'\n").arg(marker).toUtf8());
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  }

 private slots:
  void init() {
    saved_path_ = qgetenv("PATH");
    program_ = std::make_unique<TestProgram>();
    view_ = std::make_unique<TestWindow>(*program_);
  }
  void cleanup() {
    qputenv("PATH", saved_path_);
    view_.reset();
    program_.reset();
  }

  void aboutBoxShowsVersionTitleAndProgramFolder() {
    AboutBox& about = view_->window.About();
    QCOMPARE(about.windowTitle(), QStringLiteral("About Kestrel"));
    QCOMPARE(about.findChild<QLabel*>("lblVersion")->text(), QStringLiteral("Version: KS2026.12"));
    QCOMPARE(about.findChild<QLabel*>("lblTitle")->text(), QStringLiteral("Kestrel"));
    QVERIFY(about.findChild<QLabel*>("lblProgramFolder")->text().endsWith(program_->folder.path()));
    QCOMPARE(about.findChild<QPushButton*>("cmdSysInfo")->text(),
             QStringLiteral("&System Info..."));
    QCOMPARE(&view_->window.About(), &about);
  }

  void helpAboutShowsTheBoxWithoutWaiting() {
    view_->Find<QAction>("mnuHelpAbout")->trigger();
    QVERIFY(view_->window.About().isVisible());
    QVERIFY(!view_->window.About().isModal());
    QTest::mouseClick(view_->window.About().findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    QVERIFY(!view_->window.About().isVisible());
  }

  void sysInfoWithoutAToolSaysSo() {
    QTemporaryDir empty;
    qputenv("PATH", empty.path().toUtf8());
    QTest::mouseClick(view_->window.About().findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    const auto& shown = program_->dialogs.shown;
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0].text, std::string("System Information Is Unavailable At This Time"));
    QCOMPARE(shown[0].buttons, MsgButtons::Ok);
  }

  void sysInfoStartsTheFirstKnownToolOnPath() {
    QTemporaryDir tools;
    const QString first = tools.filePath(QStringLiteral("first-ran"));
    const QString second = tools.filePath(QStringLiteral("second-ran"));
    WriteScript(tools.path(), QStringLiteral("xfce4-taskmanager"), second);
    WriteScript(tools.path(), QStringLiteral("gnome-system-monitor"), first);
    qputenv("PATH", tools.path().toUtf8());
    view_->window.About().StartSysInfo();
    QTRY_VERIFY(QFile::exists(first));
    QVERIFY(!QFile::exists(second));
    QVERIFY(program_->dialogs.shown.empty());
  }

  // Every help number a control carries has its anchor on its page.
  void everyHelpNumberHasItsAnchor() {
    QSet<int> contexts{10, 19, 24, 29};
    for (QWidget* widget : view_->window.findChildren<QWidget*>()) {
      if (int context = widget->property("helpContext").toInt()) contexts.insert(context);
    }
    QCOMPARE(contexts.size(), 22);
    for (int context : contexts) {
      const QUrl url = HelpUrl(context);
      QFile page(QLatin1Char(':') + url.path());
      QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(url.toString()));
      QVERIFY2(page.readAll().contains(("name=\"" + url.fragment() + "\"").toUtf8()),
               qPrintable(url.toString()));
    }
  }

  void f1OpensHelpAtTheFocusedControl() {
    auto* field = view_->Find<QLineEdit>("txtMaxKBLogFile");
    field->setFocus();
    QTest::keyClick(field, Qt::Key_F1);
    HelpWindow& help = view_->window.Help();
    QVERIFY(help.isVisible());
    QCOMPARE(help.Browser()->source().toString(), QStringLiteral("qrc:/help/options.html#ctx17"));
    QVERIFY(help.Browser()->toPlainText().contains(QStringLiteral("Max. KB Log File Size")));
  }

  void aControlWithoutANumberTakesTheTabs() {
    view_->Find<QTabWidget>("tsTabStrip")->setCurrentIndex(3);
    QCOMPARE(HelpContextOf(view_->Find<QTabWidget>("tsTabStrip")->widget(3)), 29);
    view_->Find<QTabWidget>("tsTabStrip")->setCurrentIndex(2);
    QCOMPARE(HelpContextOf(view_->Find<QTabWidget>("tsTabStrip")->widget(2)), 24);
    QVERIFY(view_->Find<QLineEdit>("txtNewExcludeFolder")->hasFocus());
  }

  void helpContentsOpensTheFirstPage() {
    view_->Find<QAction>("mnuHelpContents")->trigger();
    QTextBrowser* browser = view_->window.Help().Browser();
    QCOMPARE(browser->source().toString(), QStringLiteral("qrc:/help/contents.html"));
    QVERIFY(browser->toPlainText().contains(QStringLiteral("Silent mode and scheduled runs")));
  }
};

QTEST_MAIN(AboutHelpTest)
#include "about_help_test.moc"
