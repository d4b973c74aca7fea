#include <utime.h>
#include <QtTest>
#include <QtWidgets>
#include <deque>
#include <future>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/run_lock.h"
#include "fs/sys.h"
#include "platform/error.h"
#include "reports/report_doubles.h"
#include "reports/run_records.h"
#include "ui/about_box.h"
#include "ui/gui_error_reporter.h"
#include "ui/main_window.h"
#include "ui/run_tab.h"

namespace kestrel::test {
namespace {

constexpr int kNoQuestion = -1, kYes = int(MsgResult::Yes), kNo = int(MsgResult::No),
              kCancel = int(MsgResult::Cancel);

// Answers every dialog from queues the test fills, and records the message boxes shown.
class ScriptedDialogs final : public Dialogs {
  using Text = const std::string&;

 public:
  MsgResult MessageBox(Text text, MsgButtons buttons, MsgIcon, Text) override {
    shown.push_back(text);
    threads.push_back(std::this_thread::get_id());
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    // A question with no answer queued is one the test did not expect.
    if (answers.empty()) return ++unanswered, MsgResult::Cancel;
    const MsgResult answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> OpenFileName(Text, Text, Text) override { return open_name; }
  std::optional<std::string> SaveFileName(Text, Text, Text) override {
    ++save_asks;
    return save_name;
  }
  std::string BrowseForFolder() override { return ""; }
  std::unique_ptr<PrintDevice> ShowPrintDialog() override { return nullptr; }

  std::deque<MsgResult> answers;
  std::optional<std::string> open_name, save_name;
  std::vector<std::string> shown;
  std::vector<std::thread::id> threads;
  int save_asks = 0;
  int unanswered = 0;
};

// A program as GUI mode sets it up, over a temporary program folder.
struct Program {
  Program() { SetDisplayLocale("C"); }
  ~Program() { reporter.Attach(nullptr); }
  std::string Path(const char* name) const { return folder.filePath(name).toStdString(); }

  QTemporaryDir folder;
  FixedClock clock{*DateTime::FromCivil(2026, 12, 6, 10, 2, 36)};
  SilentReporter silent;
  GuiErrorReporter reporter{silent};
  Functions fn{Platform{clock, reporter, RealSys(), folder.path().toStdString()}};
  ScriptedDialogs dialogs;
};

FolderList Shown(const QListWidget* list) {
  FolderList shown;
  for (int row = 0; row < list->count(); ++row)
    shown.emplace_back(list->item(row)->text().toStdString(),
                       list->item(row)->checkState() == Qt::Checked);
  return shown;
}

QStringList FileLines(const std::string& path) {
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n')
                                        : QStringList();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<Program> program_;
  std::unique_ptr<MainWindow> window_;

  KestrelCfg& Cfg() { return *program_->fn.CurrentCfg; }
  ScriptedDialogs& Dialogs() { return program_->dialogs; }
  RunTab& Run() { return window_->RunPage(); }
  template <typename T>
  T* Find(const QString& name) {
    T* child = window_->findChild<T*>(name);
    if (!child) qFatal("no control named %s", qPrintable(name));
    return child;
  }
  QLineEdit* Field(const char* name) { return Find<QLineEdit>(name); }
  QTabWidget* Tabs() { return Find<QTabWidget>("tsTabStrip"); }
  // The list, the new folder field and the Add and Remove buttons of a folder tab, shown.
  auto OpenTab(const QString& which) {
    Tabs()->setCurrentIndex(which == "Include" ? 1 : 2);
    auto name = [&](const char* form) { return QString::fromUtf8(form).arg(which); };
    return std::tuple(
        Find<QListWidget>(name("lst%1Folders")), Find<QLineEdit>(name("txtNew%1Folder")),
        Find<QPushButton>(name("cmdAdd%1Folder")), Find<QPushButton>(name("cmdRemove%1Folder")));
  }
  QStringList RunLines() { return Find<QPlainTextEdit>("txtRunOutput")->toPlainText().split('\n'); }
  void StartRun(bool wait = true) {
    Tabs()->setCurrentIndex(3);
    QTest::mouseClick(Run().RunButton(), Qt::LeftButton);
    if (wait) QTRY_VERIFY_WITH_TIMEOUT(!Run().Running(), 60000);
  }

 private slots:
  void init() {
    program_ = std::make_unique<Program>();
    KestrelCfg& cfg = Cfg();
    cfg.UserName("ann");
    cfg.Company("Acme");
    cfg.QuarantineFolder("/home/ann/quarantine");
    cfg.MaxErrorsPerRun(0);
    cfg.IncludeFolders() = {{"/home/ann", true}, {"/srv/share", false}};
    cfg.ExcludeFolders() = {{"/home/ann/keep", true}};
    cfg.IsDirty(true);
    window_ = std::make_unique<MainWindow>(program_->fn, Dialogs());
    program_->reporter.Attach(&Dialogs());
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }
  void cleanup() {
    QCOMPARE(Dialogs().unanswered, 0);
    window_.reset();
    program_.reset();
  }

  // Filling the window stores every field again, which assigns the flag init left set. Each
  // keystroke compares with what the one before stored and assigns the flag: the quarantine
  // folder is stored without blanks, so deleting a trailing one clears it; so does the nested
  // "0" that replaces a letter, whatever changed before.
  void typingAssignsTheDirtyFlag() {
    QVERIFY(!Cfg().IsDirty());
    QLineEdit* quarantine = Field("txtQuarantineFolder");
    quarantine->setFocus();
    quarantine->selectAll();
    QTest::keyClicks(quarantine, QStringLiteral("/q "));
    QVERIFY(Cfg().IsDirty());
    QTest::keyClick(quarantine, Qt::Key_Backspace);
    QCOMPARE(Cfg().QuarantineFolder(), std::string("/q"));
    QVERIFY(!Cfg().IsDirty());
    QTest::keyClicks(quarantine, QStringLiteral("x"));
    QVERIFY(Cfg().IsDirty());
    QLineEdit* errors = Field("txtMaxErrorsPerRun");
    errors->setFocus();
    errors->selectAll();
    QTest::keyClicks(errors, QStringLiteral("x"));
    QCOMPARE(errors->text(), QStringLiteral("0"));
    QVERIFY(!Cfg().IsDirty());
  }

  // Text that is no 32-bit number turns into "0", whose nested change assigns the flag again:
  // stored 0 before, it ends clear.
  void numberFields_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    QTest::addColumn<int>("stored");
    QTest::newRow("half down to even") << "2.5" << true << 2;
    QTest::newRow("half up to even") << "3.5" << true << 4;
    QTest::newRow("negative half") << "-2.5" << true << -2;
    QTest::newRow("exponent, blanks") << " 1e3 " << true << 1000;
    QTest::newRow("zero written otherwise") << "00" << true << 0;
    QTest::newRow("beyond 32 bits") << "2147483648" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
  }
  void numberFields() {
    QFETCH(QString, text);
    QFETCH(bool, number);
    QFETCH(int, stored);
    QLineEdit* field = Field("txtMaxErrorsPerRun");
    field->setText(text);
    QCOMPARE(field->text(), number ? text : QStringLiteral("0"));
    QCOMPARE(Cfg().MaxErrorsPerRun(), stored);
    QCOMPARE(Cfg().IsDirty(), number);
  }

  // Close and Open ask before they lose changes, and Yes saves first; New does not ask. A row
  // that expects a question, and New, change the configuration first.
  void unsavedChanges_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    // "named": the configuration has a file name; otherwise Yes leads to Save As.
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("done");
    QTest::addColumn<bool>("saved");
    QTest::newRow("close clean") << "close" << kNoQuestion << "named" << true << false;
    QTest::newRow("close, No") << "close" << kNo << "named" << true << false;
    QTest::newRow("close, Cancel") << "close" << kCancel << "named" << false << false;
    QTest::newRow("close, Yes") << "close" << kYes << "named" << true << true;
    QTest::newRow("close, Yes, Save As") << "close" << kYes << "Save As" << true << true;
    QTest::newRow("close, Save As cancelled")
        << "close" << kYes << "Save As cancelled" << false << false;
    QTest::newRow("open clean") << "open" << kNoQuestion << "named" << true << false;
    QTest::newRow("open, No") << "open" << kNo << "named" << true << false;
    QTest::newRow("open, Cancel") << "open" << kCancel << "named" << false << false;
    QTest::newRow("open, Yes") << "open" << kYes << "named" << true << true;
    QTest::newRow("open, Save As cancelled")
        << "open" << kYes << "Save As cancelled" << false << false;
    QTest::newRow("new") << "new" << kNoQuestion << "named" << true << false;
  }
  void unsavedChanges() {
    QFETCH(QString, command);
    QFETCH(int, answer);
    QFETCH(QString, file);
    QFETCH(bool, done);
    QFETCH(bool, saved);
    const bool dirty = answer != kNoQuestion || command == "new";
    const std::string path = program_->Path("mine.ksp"), other = program_->Path("other.ksp");
    KestrelCfg saved_before(program_->fn);
    saved_before.Filename(other);
    saved_before.UserName("bob");
    saved_before.ExcludeFolders() = {{"/proc", false}};
    QVERIFY(saved_before.Save());
    if (file == "named") Cfg().Filename(path);
    if (dirty) Field("txtUserName")->setText(QStringLiteral("changed"));
    if (answer != kNoQuestion) Dialogs().answers = {MsgResult(answer)};
    if (file == "Save As") Dialogs().save_name = path;
    Dialogs().open_name = other;
    const KestrelCfg* before = &Cfg();

    const bool closed = command == "close" && window_->close();
    if (command != "close")
      Find<QAction>(command == "open" ? "mnuFileOpen" : "mnuFileNew")->trigger();

    const bool replaced = &Cfg() != before;
    QCOMPARE(command == "close" ? closed : replaced, done);
    QCOMPARE(Dialogs().shown, answer == kNoQuestion ? std::vector<std::string>{}
                                                    : std::vector<std::string>{
                                                          "The configuration has not been "
                                                          "saved.\nDo you want to save it now?"});
    QCOMPARE(Dialogs().save_asks, file != "named" && answer == kYes ? 1 : 0);
    QCOMPARE(FileLines(path).contains(QStringLiteral("Name=changed")), saved);
    QCOMPARE(Cfg().IsDirty(), dirty && !saved && !replaced);
    QCOMPARE(Field("txtUserName")->text(), QString::fromStdString(replaced ? Cfg().UserName()
                                                                  : dirty  ? "changed"
                                                                           : "ann"));
    if (replaced) {
      QCOMPARE(Shown(std::get<0>(OpenTab("Exclude"))),
               (command == "open" ? FolderList{{"/proc", false}} : FolderList{}));
    }
  }

  // Save copies the window into the configuration: every field into its own setting, and the
  // lists whole with their ticks, which until then change nothing.
  void saveWritesWhatTheWindowShows() {
    const std::string path = program_->Path("saved.ksp");
    Dialogs().save_name = path;
    Find<QAction>("mnuFileSave")->trigger();
    const QStringList before = FileLines(path);
    std::get<0>(OpenTab("Exclude"))->item(0)->setCheckState(Qt::Unchecked);
    QCOMPARE(Cfg().ExcludeFolders(), (FolderList{{"/home/ann/keep", true}}));
    Field("txtMaxKBLogFile")->setText(QStringLiteral("77"));
    Find<QAction>("mnuFileSave")->trigger();
    const QStringList after = FileLines(path);
    QCOMPARE(after.size(), before.size());
    QStringList changed;
    for (int i = 0; i < after.size(); ++i) {
      if (after[i] != before[i]) changed << after[i];
    }
    QCOMPARE(changed, (QStringList{"MaxKBLog=77", "ExcludeSubs001=False"}));
  }

  // Include asks about a missing folder first; either list then drops a name it holds in any
  // case. "@" stands for a folder that exists, the program's.
  void addFolder_data() {
    QTest::addColumn<bool>("include");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("added");
    QTest::addColumn<bool>("kept");
    QTest::newRow("existing, blanks around") << true << "  @ " << kNoQuestion << "@" << false;
    QTest::newRow("missing, No") << true << "/no/such" << kNo << "" << true;
    QTest::newRow("missing, Yes") << true << "/no/such" << kYes << "/no/such" << false;
    QTest::newRow("listed in another case") << true << "/HOME/Ann" << kYes << "" << false;
    QTest::newRow("exclude, missing") << false << "/no/such" << kNoQuestion << "/no/such" << false;
    QTest::newRow("exclude, other case") << false << "/Home/Ann/Keep" << kNoQuestion << "" << false;
    QTest::newRow("blanks only") << false << "   " << kNoQuestion << "" << true;
  }
  void addFolder() {
    QFETCH(bool, include);
    QFETCH(QString, typed);
    QFETCH(int, answer);
    QFETCH(QString, added);
    QFETCH(bool, kept);
    typed.replace('@', program_->folder.path());
    added.replace('@', program_->folder.path());
    FolderList& listed = include ? Cfg().IncludeFolders() : Cfg().ExcludeFolders();
    FolderList expected = listed;
    if (!added.isEmpty()) expected.emplace_back(added.toStdString(), false);

    auto [list, field, add, remove] = OpenTab(include ? "Include" : "Exclude");
    if (answer != kNoQuestion) Dialogs().answers = {MsgResult(answer)};
    field->setText(typed);
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(Shown(list), expected);
    QCOMPARE(listed, expected);
    QCOMPARE(Cfg().IsDirty(), !added.isEmpty());
    QCOMPARE(field->text(), kept ? typed : QString());
    QCOMPARE(Dialogs().shown, answer == kNoQuestion
                                  ? std::vector<std::string>{}
                                  : std::vector<std::string>{"The folder '" + typed.toStdString() +
                                                             "' does not exist.\nAre you sure "
                                                             "you want to add it?"});
  }

  // Remove needs some entry ticked, then asks about the current one, ticked or not; even a No
  // marks the configuration changed.
  void removeFolder() {
    auto [list, field, add, remove] = OpenTab("Include");
    list->item(0)->setCheckState(Qt::Unchecked);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(Dialogs().shown.size(), std::size_t{0});
    QVERIFY(!Cfg().IsDirty());

    list->item(0)->setCheckState(Qt::Checked);
    Dialogs().answers = {MsgResult::No, MsgResult::Yes};
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(Dialogs().shown,
             std::vector<std::string>{"Are you sure you want to remove /srv/share from the list?"});
    QCOMPARE(Cfg().IncludeFolders().size(), std::size_t{2});
    QVERIFY(Cfg().IsDirty());
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(Shown(list), (FolderList{{"/home/ann", true}}));
    QCOMPARE(Cfg().IncludeFolders(), (FolderList{{"/home/ann", true}}));
  }

  // A run works on the unsaved configuration off the window's thread, whose errors show on the
  // window's thread; its lines keep the order it records them in, a second run replaces them,
  // and its lines are all there when the closing line comes.
  void runOutputKeepsTheOrderOfTheRun() {
    Field("txtPrefixToken")->setText(QStringLiteral("rm-"));
    std::vector<std::tuple<const KestrelCfg*, std::string, bool>> seen;
    Run().SetRunner([&, window_thread = std::this_thread::get_id()](KestrelCfg& cfg) {
      seen.emplace_back(&cfg, cfg.PrefixToken(), std::this_thread::get_id() == window_thread);
      for (int i = 0; i < 200; ++i) {
        program_->fn.FileRemovalRpt->RecordMessage("m" + std::to_string(i));
        auto file = std::make_shared<RemovedFile>();
        file->OriginalFilename("/f" + std::to_string(i));
        program_->fn.FileRemovalRpt->RecordFileMoved(file);
        program_->fn.WarningRpt->RecordWarning("w" + std::to_string(i));
        if (i == 100) {
          ReportHandled(program_->fn.Outside().reporter, "KestrelCfg.CleanUp",
                        std::make_exception_ptr(KsError(kAppError, "disk gone", "Fs.Stat")));
        }
      }
    });
    StartRun();
    StartRun();
    QVERIFY(seen == decltype(seen)(2, {&Cfg(), "rm-", false}));
    QCOMPARE(Dialogs().shown,
             std::vector<std::string>(
                 2, "disk gone\n\nError 0x80040001 in KestrelCfg.CleanUp\nFs.Stat"));
    QCOMPARE(Dialogs().threads, std::vector<std::thread::id>(2, std::this_thread::get_id()));
    QStringList expected{"Starting Clean-up at 2026-12-06 10:02:36..."};
    for (int i = 0; i < 200; ++i) {
      expected << QStringLiteral("[Message] m%1").arg(i)
               << QStringLiteral("[File Moved] /f%1").arg(i)
               << QStringLiteral("[Warning] w%1").arg(i);
    }
    expected << "Clean-up completed at 2026-12-06 10:02:36.";
    QCOMPARE(RunLines(), expected);
  }

  // Lines show as they come, and only help stays open to the user meanwhile.
  void theWindowIsLockedWhileARunGoesOn() {
    std::promise<void> release;
    auto open = qScopeGuard([&] { release.set_value(); });
    Run().SetRunner([this, released = release.get_future().share()](KestrelCfg&) {
      program_->fn.FileRemovalRpt->RecordMessage("first");
      released.wait();
      program_->fn.WarningRpt->RecordWarning("last");
    });
    auto locked = [&](bool running) {
      QCOMPARE(Run().RunButton()->isEnabled(), !running);
      for (int page = 0; page < 3; ++page) QCOMPARE(Tabs()->widget(page)->isEnabled(), !running);
      const auto actions = window_->findChildren<QAction*>(QRegularExpression("^mnu"));
      QCOMPARE(actions.size(), 20);
      for (QAction* action : actions) {
        QVERIFY2(action->isEnabled() == (!running || action->objectName().startsWith("mnuHelp")),
                 qPrintable(action->objectName()));
      }
    };
    StartRun(false);
    QTRY_COMPARE(RunLines().value(1), QStringLiteral("[Message] first"));
    locked(true);
    if (QTest::currentTestFailed()) return;
    QVERIFY(!window_->close());
    open.dismiss();
    release.set_value();
    QTRY_VERIFY(!Run().Running());
    QCOMPARE(RunLines().mid(1, 2), (QStringList{"[Message] first", "[Warning] last"}));
    locked(false);
  }

  // Names are shown escaped; a run while another holds the lock moves nothing and says why.
  void aRealCleanUpMovesTheDueFileUnderTheRunLock() {
    const QString tree = QString::fromStdString(program_->Path("tree"));
    const QString quarantine = QString::fromStdString(program_->Path("quarantine"));
    QVERIFY(QDir().mkpath(tree));
    const QString due = tree + QStringLiteral("/budget\n del-10-31-2025.xls");
    QFile file(due);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
    file.close();
    struct utimbuf old_times = {1500000000, 1500000000};  // 2017
    QCOMPARE(utime(due.toUtf8().constData(), &old_times), 0);
    Cfg().IncludeFolders() = {{tree.toStdString(), false}};
    Cfg().ExcludeFolders().clear();
    Cfg().QuarantineFolder(quarantine.toStdString());
    auto other = std::make_unique<RunLock>(RealSys(), program_->folder.path().toStdString());
    QVERIFY(other->Acquire(program_->clock, 0));
    StartRun();
    const QString done = QStringLiteral("Clean-up completed at 2026-12-06 10:02:36.");
    QCOMPARE(RunLines().mid(1), (QStringList{"Another clean-up run is in progress", done}));
    QCOMPARE(Dialogs().shown.back(),
             GuiErrorReporter::MessageText(kAppError, "Another clean-up run is in progress",
                                           "frmKestrel.cmdRun_Click\nfrmKestrel.cmdRun_Click"));
    QVERIFY(QFile::exists(due));

    other.reset();
    StartRun();
    QCOMPARE(RunLines().mid(1),
             (QStringList{"[File Moved] " + tree + "/budget\\n del-10-31-2025.xls", done}));
    QVERIFY(QFile::exists(quarantine + QStringLiteral("/budget\n del-10-31-2025.xls")));
    QVERIFY(!QFile::exists(due));
  }

  // Every page holds its controls. With KESTREL_SCREENSHOT_DIR set, the pages and the About
  // box are saved there at 100%, and at 200% by this test run again at that scale.
  void screenshots() {
    const QString folder = qEnvironmentVariable("KESTREL_SCREENSHOT_DIR");
    auto save = [&](QWidget* widget, const QString& name) {
      const QPixmap picture = widget->grab();
      const int percent = qRound(picture.devicePixelRatio() * 100);
      const QString file = QStringLiteral("%1/%2-%3.png").arg(folder, name).arg(percent);
      QVERIFY(folder.isEmpty() || (QDir().mkpath(folder) && picture.save(file)));
    };
    const char* names[] = {"options", "include", "exclude", "run"};
    for (int index = 0; index < 4; ++index) {
      Tabs()->setCurrentIndex(index);
      QVERIFY(Tabs()->currentWidget()->contentsRect().contains(
          Tabs()->currentWidget()->childrenRect()));
      save(window_.get(), names[index]);
    }
    window_->About().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window_->About()));
    save(&window_->About(), "about");
    if (folder.isEmpty() || qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) return;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_SCALE_FACTOR", "2");
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"screenshots"});
    QVERIFY(child.waitForFinished(120000) && child.exitCode() == 0);
  }
};

}  // namespace kestrel::test

QTEST_MAIN(kestrel::test::MainWindowTest)
#include "main_window_test.moc"
