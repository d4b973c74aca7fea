#include "ui/mark_dialog.h"

#include <QtTest>
#include <QtWidgets>
#include <fstream>

#include "ui/window_fixture.h"

namespace kestrel::test {

// Now is 2026-12-06 10:00.
class MarkDialogTest : public QObject {
  Q_OBJECT

  std::string File(const QString& name) {
    const std::string path = dir_.filePath(name).toStdString();
    std::ofstream(path) << "x";
    return path;
  }

 private slots:
  void showsTheNewNamesThenMarksWhatItCan() {
    const std::vector<std::string> files = {File("budget.xls"), File("notes.txt"),
                                            File("notes del-01-06-2027.txt")};
    MarkDialog dialog(RealSys(), "del-", *DateTime::FromCivil(2026, 12, 6, 10), files);
    dialog.show();
    const QAbstractItemModel* names = dialog.Names()->model();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.screen()->availableGeometry().contains(dialog.frameGeometry()));
    // A month on; the names follow the calendar's day.
    QCOMPARE(Column(names, 1), (QStringList{"budget del-01-06-2027.xls",
                                            "cannot be marked: the name is taken: " +
                                                dir_.filePath("notes del-01-06-2027.txt"),
                                            "notes del-01-06-2027.txt"}));

    for (QPushButton* button : dialog.findChildren<QPushButton*>())
      if (button->text() == QLatin1String("1 week")) button->click();
    QCOMPARE(Column(names, 1).first(), "budget del-12-13-2026.xls");

    dialog.MarkButton()->click();
    // The re-dated copy would take the name notes.txt just got: it stays, and so does the dialog.
    QVERIFY(dialog.isVisible());
    QCOMPARE(Column(names, 0), (QStringList{"notes del-01-06-2027.txt"}));
    QCOMPARE(
        dialog.findChild<QLabel*>("lblSummary")->text(),
        "2 marked, 1 not marked: the name is taken: " + dir_.filePath("notes del-12-13-2026.txt"));
    QCOMPARE(dialog.CloseButton()->text(), "Close");
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files),
             (QStringList{"budget del-12-13-2026.xls", "notes del-01-06-2027.txt",
                          "notes del-12-13-2026.txt"}));
  }

 private:
  QTemporaryDir dir_;
};

}  // namespace kestrel::test

QTEST_MAIN(kestrel::test::MarkDialogTest)
#include "mark_dialog_test.moc"
