#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "ui/ui_fixture.h"

using namespace kestrel;

class OptionsTabTest : public QObject {
  Q_OBJECT

 private:
  KestrelCfg& Cfg() { return *program_->fn.CurrentCfg; }
  QLineEdit* Field(const char* name) { return view_->Find<QLineEdit>(name); }
  void TypeOver(QLineEdit* field, const char* text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::fromUtf8(text));
  }

  std::unique_ptr<TestProgram> program_;
  std::unique_ptr<TestWindow> view_;

 private slots:
  void init() {
    program_ = std::make_unique<TestProgram>();
    KestrelCfg& cfg = *program_->fn.CurrentCfg;
    cfg.UserName("ann");
    cfg.Company("Acme");
    cfg.QuarantineFolder("/srv/quarantine");
    cfg.MaxMBPerRun(50);
    cfg.MaxErrorsPerRun(0);
    cfg.DisplayAllMessages(false);
    cfg.IsDirty(true);
    view_ = std::make_unique<TestWindow>(*program_);
  }
  void cleanup() {
    QCOMPARE(program_->dialogs.unanswered, 0);
    view_.reset();
    program_.reset();
  }

  void fillShowsTheConfigurationAndLeavesItClean() {
    QCOMPARE(Field("txtUserName")->text(), QStringLiteral("ann"));
    QCOMPARE(Field("txtMaxMBPerRun")->text(), QStringLiteral("50"));
    QCOMPARE(Field("txtMaxErrorsPerRun")->text(), QStringLiteral("0"));
    QVERIFY(!view_->Find<QCheckBox>("chkDisplayAllMessages")->isChecked());
    QVERIFY(!Cfg().IsDirty());
    QCOMPARE(view_->Find<QTabWidget>("tsTabStrip")->currentIndex(), 0);
  }

  // Each keystroke stores the field and compares with the value stored by the one before.
  void typingANumberStoresEveryKeystroke() {
    QLineEdit* field = Field("txtMaxMBPerRun");
    TypeOver(field, "7");
    QCOMPARE(Cfg().MaxMBPerRun(), 7);
    QVERIFY(Cfg().IsDirty());
    QTest::keyClicks(field, QStringLiteral("5"));
    QCOMPARE(Cfg().MaxMBPerRun(), 75);
    QVERIFY(Cfg().IsDirty());
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text(), QStringLiteral("0"));
    QCOMPARE(Cfg().MaxMBPerRun(), 0);
    QVERIFY(Cfg().IsDirty());
  }

  // The nested "0" replacement assigns the flag again: with 0 stored it ends clean.
  void lettersInANumberFieldBecomeZero() {
    QLineEdit* field = Field("txtMaxErrorsPerRun");
    TypeOver(field, "abc");
    QCOMPARE(field->text(), QStringLiteral("0"));
    QCOMPARE(Cfg().MaxErrorsPerRun(), 0);
    QVERIFY(!Cfg().IsDirty());
    field->clear();
    QCOMPARE(field->text(), QStringLiteral("0"));
    QVERIFY(!Cfg().IsDirty());
  }

  void numericTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("exponent") << "1e3" << 1000 << "1e3";
    QTest::newRow("half down to even") << "2.5" << 2 << "2.5";
    QTest::newRow("half up to even") << "3.5" << 4 << "3.5";
    QTest::newRow("negative half") << "-2.5" << -2 << "-2.5";
    QTest::newRow("fraction") << "2.6" << 3 << "2.6";
    QTest::newRow("blanks around") << " 12 " << 12 << " 12 ";
    QTest::newRow("sign") << "-7" << -7 << "-7";
    QTest::newRow("leading zero") << "050" << 50 << "050";
    QTest::newRow("group separator") << "1,000" << 1000 << "1,000";
    QTest::newRow("largest") << "2147483647" << 2147483647 << "2147483647";
    QTest::newRow("beyond 32 bits") << "2147483648" << 0 << "0";
    QTest::newRow("not a number") << "1x" << 0 << "0";
    QTest::newRow("infinity") << "inf" << 0 << "0";
  }
  void numericTexts() {
    QFETCH(QString, text);
    QFETCH(int, stored);
    QFETCH(QString, shown);
    QLineEdit* field = Field("txtMaxKBLogFile");
    field->setText(text);
    QCOMPARE(field->text(), shown);
    QCOMPARE(Cfg().MaxKBLogFile(), stored);
  }

  void textDifferingFromTheStoredValueIsDirty() {
    QLineEdit* field = Field("txtMaxMBPerRun");
    field->setText(QStringLiteral("050"));
    QVERIFY(Cfg().IsDirty());
    QCOMPARE(Cfg().MaxMBPerRun(), 50);
  }

  // Deleting and retyping the last letter leaves the flag set: each change compares with the
  // text stored by the change before it.
  void retypingTheLastLetterStaysDirty() {
    QLineEdit* field = Field("txtUserName");
    field->setFocus();
    field->end(false);
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(Cfg().UserName(), std::string("an"));
    QTest::keyClicks(field, QStringLiteral("n"));
    QCOMPARE(Cfg().UserName(), std::string("ann"));
    QVERIFY(Cfg().IsDirty());
  }

  void eachTextFieldWritesItsOwnSetting() {
    TypeOver(Field("txtCompany"), "Kestrel Works");
    TypeOver(Field("txtPrefixToken"), "rm-");
    QCOMPARE(Cfg().Company(), std::string("Kestrel Works"));
    QCOMPARE(Cfg().PrefixToken(), std::string("rm-"));
    QCOMPARE(Cfg().UserName(), std::string("ann"));
  }

  void quarantineIsStoredWithoutBlanksAndShownAsTyped() {
    QLineEdit* field = Field("txtQuarantineFolder");
    TypeOver(field, "  /srv/q  ");
    QCOMPARE(field->text(), QStringLiteral("  /srv/q  "));
    QCOMPARE(Cfg().QuarantineFolder(), std::string("/srv/q"));
  }

  void leavingAnEmptyQuarantineWarnsUnlessForItsBrowseButton() {
    auto& shown = program_->dialogs.shown;
    QLineEdit* field = Field("txtQuarantineFolder");
    auto* browse = view_->Find<QPushButton>("cmdBrowseForQuarantineFolder");
    TypeOver(field, "   ");
    browse->setFocus(Qt::MouseFocusReason);
    QCOMPARE(shown.size(), std::size_t{0});

    field->setFocus();
    Field("txtMaxMBPerRun")->setFocus(Qt::TabFocusReason);
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0].text,
             std::string("Since no quarantine folder was specified, out of date files \n"
                         "will be moved to the recycle bin rather that quarantined."));
    QCOMPARE(shown[0].caption, std::string("Empty Quarantine Folder"));
    QCOMPARE(shown[0].buttons, MsgButtons::Ok);
    QCOMPARE(shown[0].icon, MsgIcon::Exclamation);

    field->setFocus();
    Field("txtUserName")->setFocus(Qt::TabFocusReason);
    QCOMPARE(shown.size(), std::size_t{2});

    TypeOver(field, "/srv/q");
    Field("txtUserName")->setFocus(Qt::TabFocusReason);
    QCOMPARE(shown.size(), std::size_t{2});
  }

  void browsingFillsOrEmptiesTheQuarantine() {
    auto* browse = view_->Find<QPushButton>("cmdBrowseForQuarantineFolder");
    QLineEdit* field = Field("txtQuarantineFolder");
    program_->dialogs.folders = {std::string("/srv/picked"), std::nullopt};
    QTest::mouseClick(browse, Qt::LeftButton);
    QCOMPARE(field->text(), QStringLiteral("/srv/picked"));
    QCOMPARE(Cfg().QuarantineFolder(), std::string("/srv/picked"));
    QVERIFY(field->hasFocus());
    QTest::mouseClick(browse, Qt::LeftButton);
    QCOMPARE(field->text(), QString());
    QCOMPARE(Cfg().QuarantineFolder(), std::string());
    QCOMPARE(program_->dialogs.browse_calls, 2);
    QCOMPARE(program_->dialogs.shown.size(), std::size_t{0});
  }

  void checkBoxAssignsTheFlag() {
    auto* box = view_->Find<QCheckBox>("chkDisplayAllMessages");
    box->click();
    QVERIFY(Cfg().DisplayAllMessages());
    QVERIFY(Cfg().IsDirty());
    box->click();
    QVERIFY(!Cfg().DisplayAllMessages());
    QVERIFY(Cfg().IsDirty());
  }
};

QTEST_MAIN(OptionsTabTest)
#include "options_tab_test.moc"
