#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "ui/ui_fixture.h"

using namespace kestrel;

namespace {

const std::string kConfirmText =
    "The configuration has not been saved.\nDo you want to save it now?";

QStringList FileLines(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
}

}  // namespace

class FileCommandsTest : public QObject {
  Q_OBJECT

 private:
  KestrelCfg& Cfg() { return *program_->fn.CurrentCfg; }
  ScriptedDialogs& Dialogs() { return program_->dialogs; }
  void Trigger(const char* action) { view_->Find<QAction>(action)->trigger(); }
  QLineEdit* Field(const char* name) { return view_->Find<QLineEdit>(name); }
  void MakeDirty() { Field("txtUserName")->setText(QStringLiteral("changed")); }
  std::unique_ptr<KestrelCfg> LoadFile(const std::string& path) {
    auto cfg = std::make_unique<KestrelCfg>(program_->fn);
    cfg->Filename(path);
    cfg->Load();
    return cfg;
  }

  std::unique_ptr<TestProgram> program_;
  std::unique_ptr<TestWindow> view_;

 private slots:
  void init() {
    program_ = std::make_unique<TestProgram>();
    view_ = std::make_unique<TestWindow>(*program_);
  }
  void cleanup() {
    QCOMPARE(Dialogs().unanswered, 0);
    view_.reset();
    program_.reset();
  }

  void closingACleanWindowAsksNothing() {
    QVERIFY(view_->window.close());
    QCOMPARE(Dialogs().shown.size(), std::size_t{0});
  }

  void closingADirtyWindowAsks_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::newRow("No closes and loses the changes") << int(MsgResult::No) << true;
    QTest::newRow("Cancel keeps it open") << int(MsgResult::Cancel) << false;
  }
  void closingADirtyWindowAsks() {
    QFETCH(int, answer);
    QFETCH(bool, closed);
    MakeDirty();
    Dialogs().answers = {MsgResult(answer)};
    QCOMPARE(view_->window.close(), closed);
    QCOMPARE(Dialogs().shown.size(), std::size_t{1});
    QCOMPARE(Dialogs().shown[0].text, kConfirmText);
    QCOMPARE(Dialogs().shown[0].caption, std::string("Save Configuration?"));
    QCOMPARE(Dialogs().shown[0].buttons, MsgButtons::YesNoCancel);
    QCOMPARE(Dialogs().shown[0].icon, MsgIcon::Question);
    QVERIFY(Dialogs().save_asks.empty());
  }

  void yesSavesANamedConfigurationAndCloses() {
    Cfg().Filename(program_->Path("named.ksp"));
    MakeDirty();
    Dialogs().answers = {MsgResult::Yes};
    QVERIFY(view_->window.close());
    QVERIFY(Dialogs().save_asks.empty());
    QCOMPARE(LoadFile(program_->Path("named.ksp"))->UserName(), std::string("changed"));
  }

  // Yes without a file name asks for one; cancelling that keeps the window and stops Open.
  void cancellingSaveAsAfterYesKeepsEverything() {
    MakeDirty();
    Dialogs().answers = {MsgResult::Yes, MsgResult::Yes};
    Dialogs().save_names = {std::nullopt, std::nullopt};
    QVERIFY(!view_->window.close());
    QCOMPARE(Dialogs().save_asks.size(), std::size_t{1});
    QCOMPARE(Dialogs().save_asks[0].filter, std::string("Kestrel Files (*.ksp)"));
    QCOMPARE(Dialogs().save_asks[0].default_ext, std::string("ksp"));

    Trigger("mnuFileOpen");
    QCOMPARE(Dialogs().save_asks.size(), std::size_t{2});
    QVERIFY(Dialogs().open_asks.empty());
    QVERIFY(Cfg().IsDirty());
  }

  void noThenCancelledOpenKeepsTheUnsavedConfiguration() {
    const KestrelCfg* before = program_->fn.CurrentCfg.get();
    MakeDirty();
    Dialogs().answers = {MsgResult::No};
    Dialogs().open_names = {std::nullopt};
    Trigger("mnuFileOpen");
    QCOMPARE(Dialogs().open_asks.size(), std::size_t{1});
    QCOMPARE(Dialogs().open_asks[0].filter, std::string("Kestrel Files (*.ksp)"));
    QCOMPARE(program_->fn.CurrentCfg.get(), before);
    QCOMPARE(Cfg().UserName(), std::string("changed"));
    QVERIFY(Cfg().IsDirty());
  }

  void openShowsTheFileAndKeepsTheCaption() {
    const std::string path = program_->Path("weekly.ksp");
    {
      KestrelCfg saved(program_->fn);
      saved.Filename(path);
      saved.UserName("bob");
      saved.MaxKBLogFile(64);
      saved.DisplayAllMessages(false);
      saved.ExcludeFolders().emplace_back("/proc", true);
      QVERIFY(saved.Save());
    }
    Dialogs().open_names = {path};
    Trigger("mnuFileOpen");
    QVERIFY(Dialogs().shown.empty());
    QCOMPARE(Cfg().Filename(), path);
    QCOMPARE(Field("txtUserName")->text(), QStringLiteral("bob"));
    QCOMPARE(Field("txtMaxKBLogFile")->text(), QStringLiteral("64"));
    QVERIFY(!view_->Find<QCheckBox>("chkDisplayAllMessages")->isChecked());
    auto* excludes = view_->Find<QListWidget>("lstExcludeFolders");
    QCOMPARE(excludes->count(), 1);
    QCOMPARE(excludes->item(0)->checkState(), Qt::Checked);
    QVERIFY(!Cfg().IsDirty());
    QCOMPARE(view_->window.windowTitle(), QStringLiteral("Kestrel"));
  }

  void newReplacesADirtyConfigurationWithoutAsking() {
    const KestrelCfg* before = program_->fn.CurrentCfg.get();
    MakeDirty();
    Field("txtMaxMBPerRun")->setText(QStringLiteral("7"));
    Trigger("mnuFileNew");
    QVERIFY(Dialogs().shown.empty());
    QVERIFY(program_->fn.CurrentCfg.get() != before);
    QCOMPARE(Cfg().Filename(), std::string());
    QCOMPARE(Field("txtMaxMBPerRun")->text(), QString::number(Cfg().MaxMBPerRun()));
    QVERIFY(!Cfg().IsDirty());
  }

  void saveAsNamesTheFileAndWritesIt() {
    const std::string path = program_->Path("chosen.ksp");
    Dialogs().save_names = {path};
    Field("txtPrefixToken")->setText(QStringLiteral("rm-"));
    Trigger("mnuFileSaveAs");
    QCOMPARE(Cfg().Filename(), path);
    QVERIFY(!Cfg().IsDirty());
    QCOMPARE(LoadFile(path)->PrefixToken(), std::string("rm-"));
  }

  void saveWithoutANameRunsSaveAs() {
    Dialogs().save_names = {std::nullopt};
    Trigger("mnuFileSave");
    QCOMPARE(Dialogs().save_asks.size(), std::size_t{1});
    QCOMPARE(Cfg().Filename(), std::string());
  }

  // Save copies each field into its own setting: one changed field changes one line.
  void changingOneFieldChangesOneLineOfTheFile() {
    const std::string path = program_->Path("one.ksp");
    Dialogs().save_names = {path};
    view_->Find<QCheckBox>("chkDisplayAllMessages")->setChecked(false);
    Trigger("mnuFileSaveAs");
    const QStringList before = FileLines(path);
    QVERIFY(!before.isEmpty());
    Field("txtMaxKBLogFile")->setText(QStringLiteral("77"));
    Trigger("mnuFileSave");
    const QStringList after = FileLines(path);
    QCOMPARE(after.size(), before.size());
    QStringList changed;
    for (int i = 0; i < after.size(); ++i) {
      if (after[i] != before[i]) changed << after[i];
    }
    QCOMPARE(changed, QStringList{QStringLiteral("MaxKBLog=77")});
    QVERIFY(!LoadFile(path)->DisplayAllMessages());
  }

  void saveTakesTheListsFromTheWindowWithTheirTicks() {
    const std::string path = program_->Path("lists.ksp");
    Cfg().Filename(path);
    auto* field = Field("txtNewExcludeFolder");
    auto* add = view_->Find<QPushButton>("cmdAddExcludeFolder");
    auto* list = view_->Find<QListWidget>("lstExcludeFolders");
    field->setText(QStringLiteral("/a"));
    add->click();
    field->setText(QStringLiteral("/b"));
    add->click();
    list->item(0)->setCheckState(Qt::Checked);
    Trigger("mnuFileSave");
    QCOMPARE(Cfg().ExcludeFolders(), (FolderList{{"/a", true}, {"/b", false}}));
    QCOMPARE(LoadFile(path)->ExcludeFolders(), (FolderList{{"/a", true}, {"/b", false}}));
  }
};

QTEST_MAIN(FileCommandsTest)
#include "file_commands_test.moc"
