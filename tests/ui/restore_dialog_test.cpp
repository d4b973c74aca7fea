#include "ui/restore_dialog.h"

#include <QtTest>
#include <QtWidgets>

#include "ui/window_fixture.h"

namespace kestrel::test {

class RestoreDialogTest : public QObject {
  Q_OBJECT

  static bool Loaded(RestoreDialog& dialog) {
    QSignalSpy loaded(&dialog, &RestoreDialog::Loaded);
    return !dialog.Busy() || loaded.wait(60000);
  }

 private slots:
  // The chosen files come back, without their date since the box is ticked by default; the
  // one left unchecked stays in quarantine; what happened comes out as lines.
  void restoresTheCheckedFilesAndSaysSo() {
    Program program;
    program.UseTree();
    auto path = [&](const char* name) { return program.QPath(name); };
    for (const char* name :
         {"budget del-10-31-2026.xls", "old/notes del-11-15-2026.txt", "draft del-12-01-2026.doc"})
      QVERIFY(program.MakeDueFile(QStringLiteral("home/ann/") + name, 3000));
    QVERIFY(CleanUp(program.fn.World(), *program.fn.CurrentCfg));

    RestoreDialog dialog(program.fn);
    dialog.show();
    QVERIFY(Loaded(dialog));
    QCOMPARE(dialog.Runs()->count(), 1);
    RestoreFilesModel* model = dialog.Model();
    QCOMPARE(model->rowCount(), 3);
    model->CheckAll(false);
    QVERIFY(model->Checked().empty());
    model->CheckAll(true);
    auto row = [&](const char* name) {
      return model->match(model->index(0, 0), Qt::DisplayRole, path(name)).value(0).row();
    };
    const int notes = row("home/ann/old/notes del-11-15-2026.txt");
    QVERIFY(model->setData(model->index(notes, 0), Qt::Unchecked, Qt::CheckStateRole));
    const QString when = dialog.Runs()->itemText(0);
    QVERIFY(QRegularExpression("^2026-12-06 \\d\\d:\\d\\d:\\d\\d$").match(when).hasMatch());
    QVERIFY(program.MakeDueFile("home/ann/draft del-12-01-2026.doc"));  // takes the original path

    QSignalSpy lines(&dialog, &RestoreDialog::Line);
    QSignalSpy finished(&dialog, &RestoreDialog::Finished);
    QTest::mouseClick(dialog.RestoreButton(), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QStringList said;
    for (const auto& args : lines) said << args.at(0).toString();
    said.sort();
    QCOMPARE(said, (QStringList{"[Restored] " + path("home/ann/budget del-10-31-2026.xls"),
                                "[Unmarked] " + path("home/ann/budget.xls"),
                                "[Warning] Not restored, the original path is taken: " +
                                    path("home/ann/draft del-12-01-2026.doc")}));
    QVERIFY(Loaded(dialog));
    // The restored rows say where the files are now; the user's untick stays.
    QCOMPARE(Column(model, RestoreFilesModel::kState).value(notes), "in quarantine");
    QCOMPARE(model->Checked(),
             std::vector<std::string>{path("home/ann/draft del-12-01-2026.doc").toStdString()});
    const int budget = row("home/ann/budget del-10-31-2026.xls");
    QCOMPARE(Column(model, RestoreFilesModel::kState).value(budget), "restored");
    QCOMPARE(Column(model, RestoreFilesModel::kWhere).value(budget), path("home/ann/budget.xls"));
    QCOMPARE(Column(model, RestoreFilesModel::kSize).value(budget), "3,000");
    QVERIFY2(dialog.Status()->text().endsWith(
                 " 1 restored, 1 unmarked, 1 not restored: the original path is taken."),
             qPrintable(dialog.Status()->text()));
  }
};

}  // namespace kestrel::test

QTEST_MAIN(kestrel::test::RestoreDialogTest)
#include "restore_dialog_test.moc"
