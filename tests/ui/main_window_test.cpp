#include <sys/sysmacros.h>
#include <unistd.h>
#include <QtTest>
#include <QtWidgets>
#include <atomic>
#include <functional>
#include <future>

#include "fs/run_lock.h"
#include "platform/error.h"
#include "platform/program_runner.h"
#include "reports/run_records.h"
#include "scheduling/scheduler.h"
#include "support/fault_sys.h"
#include "ui/folder_list_tab.h"
#include "ui/main_window.h"
#include "ui/name_field.h"
#include "ui/qt_dialogs.h"
#include "ui/run_tab.h"
#include "ui/schedule_dialog.h"
#include "ui/window_fixture.h"

namespace kestrel::test {
namespace {

constexpr int kNoQuestion = -1, kYes = int(MsgResult::Yes), kNo = int(MsgResult::No),
              kCancel = int(MsgResult::Cancel);
const std::string kSaveQuestion =
    "The configuration has not been saved.\nDo you want to save it now?";

// Two local disks, / and /home, whatever disks this machine has.
struct TwoDisks : FaultSys {
  TwoDisks() {
    QFile table(dir.filePath("mountinfo"));
    table.open(QIODevice::WriteOnly);
    table.write(
        "1 0 8:1 / / rw - ext4 /dev/kestrel-1 rw\n2 1 8:2 / /home rw - ext4 /dev/kestrel-2 rw\n");
    Redirect("/proc/self/mountinfo", table.fileName().toStdString());
    Redirect("/sys/dev/block/", dir.filePath("none/").toStdString());
  }
  int FStatAt(int dirfd, const char* path, struct stat* st, int flags) override {
    if (std::strncmp(path, "/dev/kestrel-", 13) != 0)
      return FaultSys::FStatAt(dirfd, path, st, flags);
    *st = {};
    st->st_mode = S_IFBLK | 0600;
    st->st_rdev = makedev(8, path[13] - '0');
    return 0;
  }
  QTemporaryDir dir;
};

// systemctl and systemd-analyze as the test sets them: a user manager or none.
struct FakeRunner : ProgramRunner {
  int Run(const std::vector<std::string>& argv, std::string* output) override {
    if (argv[0] == "systemd-analyze") return 0;
    if (argv[2] == "show-environment") return manager ? 0 : 1;
    if (argv[2] == "show" && output)
      *output = "Id=kestrel@weekly.ksp.timer\nNextElapseUSecRealtime=\n";
    return 0;
  }
  bool manager = true;
};

FolderList Shown(const QListWidget* list) {
  FolderList shown;
  for (int row = 0; row < list->count(); ++row)
    shown.emplace_back(ItemBytes(*list->item(row)), list->item(row)->checkState() == Qt::Checked);
  return shown;
}

std::string FileBytes(const std::string& path) {
  QFile file(QFile::decodeName(QByteArray::fromStdString(path)));
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

  TwoDisks disks_;
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
        Find<QListWidget>(name("lst%1Folders")), Find<NameField>(name("txtNew%1Folder")),
        Find<QPushButton>(name("cmdAdd%1Folder")), Find<QPushButton>(name("cmdRemove%1Folder")));
  }
  void Click(QListWidget* list, int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
  }
  QStringList RunLines() { return Find<QPlainTextEdit>("txtRunOutput")->toPlainText().split('\n'); }
  void StartRun(bool wait = true) {
    Tabs()->setCurrentIndex(3);
    QTest::mouseClick(Run().RunButton(), Qt::LeftButton);
    if (wait) QTRY_VERIFY_WITH_TIMEOUT(!Run().Running(), 60000);
  }
  void Trigger(const char* action) { Find<QAction>(action)->trigger(); }
  QString Progress() { return Find<QLabel>("lblProgress")->text().replace(QChar(0xA0), ' '); }
  // Saves a configuration that fill sets, under name in the program folder; its path.
  std::string Saved(const std::string& name, const std::function<void(KestrelCfg&)>& fill) {
    KestrelCfg cfg(program_->fn.Outside());
    cfg.Filename(program_->Path(name));
    fill(cfg);
    return cfg.Save() ? cfg.Filename() : "";
  }

 private slots:
  void init() {
    program_ = std::make_unique<Program>(disks_);
    qputenv("HOME", program_->folder.path().toUtf8());
    KestrelCfg& cfg = Cfg();
    cfg.UserName("ann");
    cfg.QuarantineFolder("/home/ann/quarantine");
    cfg.MaxErrorsPerRun(0);
    cfg.IncludeFolders() = {{"/home/ann", true}, {"/srv/share", false}};
    cfg.ExcludeFolders() = {{"/home/ann/keep", true}};
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

  // Open of a file that is no configuration shows why and keeps the configuration in hand with
  // its file name, so that no later write touches that file. Names are bytes: Open then Save
  // writes back what was read, the file's own name included, and leaves the configuration clean
  // in between. A field keeps the bytes it was given until it is edited; an edited one stores
  // what was typed.
  void openKeepsNamesAsBytes() {
    const std::string xs = program_->Path("xs");
    QVERIFY(program_->MakeDueFile("xs", 20));  // no section at all
    Cfg().Filename(program_->Path("mine.ksp"));
    const KestrelCfg* kept = &Cfg();
    Dialogs().open_name = xs;
    Trigger("mnuFileOpen");
    QCOMPARE(&Cfg(), kept);
    QCOMPARE(Cfg().Filename(), program_->Path("mine.ksp"));
    QCOMPARE(Dialogs().shown.size(), size_t(1));
    QVERIFY2(Dialogs().shown[0].find(xs + " is not a Kestrel configuration") != std::string::npos,
             Dialogs().shown[0].c_str());
    QCOMPARE(FileBytes(xs), std::string(20, 'x'));

    const std::string path = Saved("k\xe9.ksp", [](KestrelCfg& cfg) {
      cfg.UserName("b\xf6rje");
      cfg.QuarantineFolder("/q\xff");
      cfg.IncludeFolders() = {{"/d\xe9", true}};
      cfg.ExcludeFolders() = {{"caf\xe9", false}};
    });
    const std::string before = FileBytes(path);
    Dialogs().open_name = path;
    Trigger("mnuFileOpen");
    QVERIFY(!Cfg().IsDirty());
    QCOMPARE(Field("txtQuarantineFolder")->text(), "/q\uFFFD");
    auto [list, field, add, remove] = OpenTab("Exclude");
    Click(list, 0);
    QTest::mouseClick(add, Qt::LeftButton);  // the same name: no second entry
    std::get<0>(OpenTab("Include"))->item(0)->setCheckState(Qt::Unchecked);
    std::get<0>(OpenTab("Include"))->item(0)->setCheckState(Qt::Checked);
    Trigger("mnuFileSave");
    QCOMPARE(FileBytes(path), before);
    ::unlink(path.c_str());

    Dialogs().picked = "/p\xe9";
    QTest::mouseClick(Find<QPushButton>("cmdBrowseForQuarantineFolder"), Qt::LeftButton);
    QCOMPARE(Cfg().QuarantineFolder(), std::string("/p\xe9"));
    QTest::keyClick(Field("txtQuarantineFolder"), Qt::Key_End);
    QTest::keyClicks(Field("txtQuarantineFolder"), QStringLiteral("x"));
    QCOMPARE(Cfg().QuarantineFolder(), std::string("/p\xef\xbf\xbdx"));
  }

  // The quarantine picker opens at the field's folder, "~" expanded; a cancelled picker leaves
  // every field, list and the configuration as they were. Enter presses Add of the tab shown only.
  // File dialogs start in the configuration's folder, else the program's; the status bar shows
  // the file. Ctrl+Q asks too: it closes the window as the close box does.
  void dialogsStartWhereTheNamesAre() {
    const std::string folder = program_->folder.path().toStdString();
    std::get<1>(OpenTab("Include"))->setText(QStringLiteral("/typed"));
    Tabs()->setCurrentIndex(0);
    QTest::keyClick(Field("txtCompany"), Qt::Key_Return);
    for (const char* browse :
         {"cmdBrowseForQuarantineFolder", "cmdBrowseForIncludeFolder", "cmdBrowseForExcludeFolder"})
      Find<QPushButton>(browse)->click();
    QCOMPARE(Field("txtQuarantineFolder")->text(), "/home/ann/quarantine");
    QCOMPARE(Field("txtNewIncludeFolder")->text(), "/typed");
    QVERIFY(!Cfg().IsDirty());
    Field("txtQuarantineFolder")->setText(QStringLiteral(" ~/q "));
    Find<QPushButton>("cmdBrowseForQuarantineFolder")->click();
    Dialogs().save_name = folder + "/sub/a.ksp";
    QDir().mkpath(program_->folder.path() + "/sub");
    Trigger("mnuFileSaveAs");
    Trigger("mnuFileSaveAs");
    QCOMPARE(Dialogs().starts,
             (std::vector<std::string>{"/home/ann/quarantine", "", "", folder + "/q", folder + "/",
                                       folder + "/sub/"}));
    QCOMPARE(window_->StatusText(), QString::fromStdString(folder + "/sub/a.ksp"));
    QCOMPARE(window_->windowTitle(), "Kestrel");
    Dialogs().answers = {MsgResult::Cancel};
    Field("txtUserName")->setText(QStringLiteral("bob"));
    QTest::keyClick(window_.get(), Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(Dialogs().shown, std::vector<std::string>{kSaveQuestion});
    QVERIFY(window_->isVisible());
  }

  // Alt+letter reaches each field of the Options tab, the tabs, Run and Preview.
  void mnemonicsReachFieldsTabsAndButtons() {
    const std::pair<Qt::Key, const char*> fields[] = {
        {Qt::Key_N, "txtUserName"},          {Qt::Key_C, "txtCompany"},
        {Qt::Key_P, "txtPrefixToken"},       {Qt::Key_Q, "txtQuarantineFolder"},
        {Qt::Key_M, "txtMaxMBPerRun"},       {Qt::Key_E, "txtMaxErrorsPerRun"},
        {Qt::Key_K, "txtMaxKBLogFile"},      {Qt::Key_T, "txtPurgeAfterDays"},
        {Qt::Key_D, "chkDisplayAllMessages"}};
    for (const auto& [key, name] : fields) {
      QTest::keyClick(window_.get(), key, Qt::AltModifier);
      QCOMPARE(QApplication::focusWidget()->objectName(), QString(name));
    }
    for (const auto& [key, tab] : {std::pair(Qt::Key_I, 1), {Qt::Key_X, 2}, {Qt::Key_U, 3}}) {
      QTest::keyClick(window_.get(), key, Qt::AltModifier);
      QCOMPARE(Tabs()->currentIndex(), tab);
    }
    std::atomic<int> runs = 0;  // Alt+R clicks later, so the run's thread is awaited by this
    Run().SetRunner([&](KestrelCfg&, RunControl&) { ++runs; });
    QTest::keyClick(window_.get(), Qt::Key_R, Qt::AltModifier);
    QTRY_VERIFY(runs == 1 && !Run().Running());
    QCOMPARE(QKeySequence::mnemonic(Run().PreviewButton()->text()),
             QKeySequence(Qt::ALT | Qt::Key_P));
  }

  // Each kind of edit marks the configuration changed, and undoing it does not clear the mark;
  // the status bar shows it beside the file.
  void everyEditMarksTheConfigurationChanged_data() {
    QTest::addColumn<QString>("edit");
    QTest::newRow("purge field") << "txtPurgeAfterDays";
    QTest::newRow("check box") << "chkDisplayAllMessages";
    QTest::newRow("tick") << "tick";
    QTest::newRow("remove") << "remove";
  }
  void everyEditMarksTheConfigurationChanged() {
    QFETCH(QString, edit);
    QCOMPARE(window_->StatusText(), "(not saved yet)");
    auto [list, field, add, remove] = OpenTab("Include");
    if (edit == "tick") {
      list->item(1)->setCheckState(Qt::Checked);
      QCOMPARE(Cfg().IncludeFolders()[1].IncludeSubs(), true);
      list->item(1)->setCheckState(Qt::Unchecked);
    } else if (edit == "remove") {
      Click(list, 0);
      Dialogs().answers = {MsgResult::No, MsgResult::Yes};
      remove->click();
      QVERIFY(!Cfg().IsDirty());
      remove->click();
      const std::string question = "Are you sure you want to remove /home/ann from the list?";
      QCOMPARE(Dialogs().shown, std::vector<std::string>(2, question));
      QCOMPARE(Cfg().IncludeFolders(), (FolderList{{"/srv/share", false}}));
      QCOMPARE(Shown(list), Cfg().IncludeFolders());
    } else if (edit == "chkDisplayAllMessages") {
      Find<QCheckBox>(edit)->click();
      Find<QCheckBox>(edit)->click();
    } else {
      Tabs()->setCurrentIndex(0);
      QLineEdit* line = Field(edit.toUtf8().constData());
      line->setFocus();
      QTest::keyClicks(line, QStringLiteral("."));  // refused by a number field
      QTest::keyClicks(line, QStringLiteral("7"));
      QCOMPARE(Cfg().PurgeAfterDays(), 7);
      QTest::keyClick(line, Qt::Key_Backspace);
    }
    QVERIFY(Cfg().IsDirty());
    QCOMPARE(window_->StatusText(), "(not saved yet) [modified]");
  }

  // New, Open and close ask before they lose changes, and Yes saves first. A row that expects
  // a question changes the configuration first.
  void unsavedChanges_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    // "named": the configuration has a file name; otherwise Yes leads to Save As, which is given
    // one ("Save As") or "cancelled".
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("done");
    QTest::addColumn<bool>("saved");
    QTest::newRow("close clean") << "close" << kNoQuestion << "named" << true << false;
    QTest::newRow("close, Cancel") << "close" << kCancel << "named" << false << false;
    QTest::newRow("close, Yes, Save As") << "close" << kYes << "Save As" << true << true;
    QTest::newRow("close, Save As cancelled") << "close" << kYes << "cancelled" << false << false;
    QTest::newRow("open, Cancel") << "open" << kCancel << "named" << false << false;
    QTest::newRow("open, Yes") << "open" << kYes << "named" << true << true;
    QTest::newRow("new, No") << "new" << kNo << "named" << true << false;
    QTest::newRow("new, Cancel") << "new" << kCancel << "named" << false << false;
  }
  void unsavedChanges() {
    QFETCH(QString, command);
    QFETCH(int, answer);
    QFETCH(QString, file);
    QFETCH(bool, saved);
    const std::string path = program_->Path("mine.ksp");
    const std::string other = Saved("other.ksp", [](KestrelCfg& cfg) {
      cfg.ExcludeFolders() = {{"/proc", false}};
    });
    if (file == "named") Cfg().Filename(path);
    if (answer != kNoQuestion) {
      std::get<1>(OpenTab("Exclude"))->setText(QStringLiteral("/added"));
      QTest::keyClick(window_.get(), Qt::Key_Return);
      Dialogs().answers = {MsgResult(answer)};
    }
    if (file == "Save As") Dialogs().save_name = path;
    Dialogs().open_name = other;
    const KestrelCfg* before = &Cfg();

    const bool closed = command == "close" && window_->close();
    if (command != "close") Trigger(command == "open" ? "mnuFileOpen" : "mnuFileNew");

    const bool replaced = &Cfg() != before;
    QTEST(command == "close" ? closed : replaced, "done");
    QCOMPARE(Dialogs().shown, answer == kNoQuestion ? std::vector<std::string>{}
                                                    : std::vector<std::string>{kSaveQuestion});
    QCOMPARE(Dialogs().save_asks, file != "named" && answer == kYes ? 1 : 0);
    QCOMPARE(FileBytes(path).find("/added") != std::string::npos, saved);
    QCOMPARE(Cfg().IsDirty(), answer != kNoQuestion && !saved && !replaced);
    QCOMPARE(Shown(std::get<0>(OpenTab("Exclude"))), Cfg().ExcludeFolders());
  }

  // Include asks about a missing folder first; either list then refuses a name it holds, a
  // trailing "/" aside, saying so and keeping the field, and tells case apart. "@" stands for a
  // folder that exists, the program's, and "~" for the home folder, which the tests set to it too.
  // A folder dropped from a file manager is added; a file dropped with it is not.
  void addFolder_data() {
    QTest::addColumn<bool>("include");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("added");
    QTest::addColumn<bool>("kept");
    QTest::newRow("existing, blanks around") << true << "  @ " << kNoQuestion << "@" << false;
    QTest::newRow("home") << true << "~/" << kNoQuestion << "@/" << false;
    QTest::newRow("missing, No") << true << "/no/such" << kNo << "" << true;
    QTest::newRow("missing, Yes") << true << "/no/such" << kYes << "/no/such" << false;
    QTest::newRow("listed, trailing slash") << true << "/srv/share/" << kYes << "" << true;
    QTest::newRow("exclude, other case")
        << false << "/Home/Ann/Keep" << kNoQuestion << "/Home/Ann/Keep" << false;
    QTest::newRow("exclude, listed") << false << "/home/ann/keep" << kNoQuestion << "" << true;
    QTest::newRow("blanks only") << false << "   " << kNoQuestion << "" << true;
    QTest::newRow("dropped with a file") << false << "(dropped)" << kNoQuestion << "@" << false;
  }
  void addFolder() {
    QFETCH(bool, include);
    QFETCH(QString, typed);
    QFETCH(int, answer);
    QFETCH(QString, added);
    QFETCH(bool, kept);
    added.replace('@', program_->folder.path());
    typed.replace('@', program_->folder.path());
    FolderList& listed = include ? Cfg().IncludeFolders() : Cfg().ExcludeFolders();
    FolderList expected = listed;
    if (!added.isEmpty()) expected.emplace_back(added.toStdString(), false);

    auto [list, field, add, remove] = OpenTab(include ? "Include" : "Exclude");
    if (answer != kNoQuestion) Dialogs().answers = {MsgResult(answer)};
    if (typed == "(dropped)") {
      QVERIFY(program_->MakeDueFile("file"));
      QMimeData data;
      data.setUrls({QUrl::fromLocalFile(added), QUrl::fromLocalFile(program_->QPath("file"))});
      QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(list->viewport(), &enter);
      QVERIFY(enter.isAccepted());
      QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(list->viewport(), &drop);
      QVERIFY(Find<QLabel>("lblExcludeSubfolders")->isVisible());  // the ticks' column header
    } else {
      field->setText(typed);
      QTest::mouseClick(add, Qt::LeftButton);
    }
    QCOMPARE(Shown(list), expected);
    QCOMPARE(listed, expected);
    QCOMPARE(Cfg().IsDirty(), !added.isEmpty());
    QCOMPARE(field->text(), kept ? typed : QString());
    const bool duplicate = kept && !typed.trimmed().isEmpty() && answer != kNo;
    QCOMPARE(Dialogs().shown.size(), std::size_t(answer == kNoQuestion ? 0 : 1) + duplicate);
    if (duplicate)
      QCOMPARE(Dialogs().shown.back(), typed.toStdString() + " is already in the list.");
  }

  // Limit fields take digits only; an empty or too large value, or a negative one from a file,
  // shows an error, is not stored, and holds back Run and Save.
  void numberFields_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("leading zero, letters refused") << "0a75" << 75 << "75";
    QTest::newRow("largest") << "2147483647" << 2147483647 << "2147483647";
    QTest::newRow("too large") << "2147483648" << -1 << "2147483648";
    QTest::newRow("empty") << "" << -1 << "";
    QTest::newRow("negative from a file") << "-5" << -1 << "-5";
  }
  void numberFields() {
    QFETCH(QString, keys);
    QFETCH(int, stored);
    QLineEdit* field = Field("txtMaxErrorsPerRun");
    if (keys.startsWith('-')) {
      Dialogs().open_name = Saved("negative.ksp", [](KestrelCfg& cfg) { cfg.MaxErrorsPerRun(-5); });
      Trigger("mnuFileOpen");
    } else {
      field->setFocus();
      field->selectAll();
      QTest::keyClick(field, Qt::Key_Delete);
      QTest::keyClicks(field, keys);
      QTest::keyClick(field, Qt::Key_Tab);
    }
    QTEST(field->text(), "shown");
    const bool error = stored < 0;
    auto* error_label = Find<QLabel>("lblMaxErrorsPerRunError");
    QCOMPARE(error_label->isVisible(), error);
    // At the window's smallest the error is still whole.
    window_->resize(window_->minimumSize());
    QTRY_COMPARE(window_->size(), window_->minimumSize());
    QVERIFY(error_label->width() >= error_label->sizeHint().width());
    if (!error) QCOMPARE(Cfg().MaxErrorsPerRun(), stored);
    QCOMPARE(Find<QAction>("mnuFileSave")->isEnabled(), !error);
    QCOMPARE(Run().RunButton()->isEnabled(), !error);
  }

  // An emptied quarantine field says where files will go instead and turns the purge off;
  // unsaved changes are offered to be saved before scheduling, since a timer runs a file, and No
  // schedules nothing; an empty prefix is reported and an empty Include list asked about, naming
  // what a run would scan, before anything runs.
  void noticesComeBeforeAnythingHappens() {
    Field("txtQuarantineFolder")->setFocus();
    Field("txtQuarantineFolder")->setText(QStringLiteral("  "));
    QVERIFY(!Field("txtPurgeAfterDays")->isEnabled());  // the purge serves a quarantine only
    QCOMPARE(Field("txtPurgeAfterDays")->toolTip(), "Not used with the Trash");
    Field("txtCompany")->setFocus();
    Dialogs().answers = {MsgResult::No};
    Trigger("mnuFileSchedule");
    int runs = 0;
    Run().SetRunner([&](KestrelCfg&, RunControl&) { ++runs; });
    Field("txtPrefixToken")->clear();
    StartRun();
    Field("txtPrefixToken")->setText(QStringLiteral("del-"));
    Cfg().IncludeFolders().clear();
    Dialogs().answers = {MsgResult::Yes};
    StartRun();
    QCOMPARE(runs, 1);
    QCOMPARE(Dialogs().shown,
             (std::vector<std::string>{
                 "Since no quarantine folder was specified, out of date files will be moved to "
                 "the Trash rather than quarantined.",
                 "The configuration has unsaved changes, and a schedule runs the saved "
                 "file.\nSave it now?",
                 "The removal date prefix is empty, so no file name can carry a removal date and "
                 "the run would find nothing.\nEnter a prefix on the Options tab first.",
                 "The Include list is empty, so this run scans every local file system with all "
                 "its folders:\n/\n/home\nRun it anyway?"}));
    QCOMPARE(Dialogs().save_asks, 0);

    // Yes to that question scans every disk, so Enter in the real box answers No.
    QtDialogs real(window_.get());
    Dialogs().real = &real;
    bool no_is_default = false;
    QTimer::singleShot(100, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      no_is_default = box->defaultButton() == box->button(QMessageBox::No);
      QTest::keyClick(box, Qt::Key_Return);
    });
    StartRun();
    QVERIFY(no_is_default);
    QCOMPARE(runs, 1);
  }

  // A run works on a copy of the unsaved configuration off the window's thread, whose errors show
  // on the window's thread; its lines keep the order it records them in, a second run replaces
  // them, and its lines are all there when the closing lines come.
  void runOutputKeepsTheOrderOfTheRun() {
    Field("txtPrefixToken")->setText(QStringLiteral("rm-"));
    std::vector<std::tuple<bool, std::string, bool>> seen;
    Run().SetRunner([&, window_thread = std::this_thread::get_id()](KestrelCfg& cfg, RunControl&) {
      seen.emplace_back(&cfg == &Cfg(), cfg.PrefixToken(),
                        std::this_thread::get_id() == window_thread);
      for (int i = 0; i < 200; ++i) {
        program_->fn.FileRemovalRpt->RecordMessage("m" + std::to_string(i));
        auto file = std::make_shared<RemovedFile>();
        file->OriginalFilename("/f" + std::to_string(i));
        file->FileSize(5000);
        program_->fn.FileRemovalRpt->RecordFileMoved(file);
        program_->fn.WarningRpt->RecordWarning("w" + std::to_string(i));
        if (i == 100)
          ReportHandled(program_->fn.Outside().reporter, "KestrelCfg.CleanUp",
                        std::make_exception_ptr(KsError(kAppError, "disk gone", "Fs.Stat")));
      }
    });
    StartRun();
    StartRun();
    QVERIFY(seen == decltype(seen)(2, {false, "rm-", false}));
    QCOMPARE(Dialogs().shown,
             std::vector<std::string>(
                 2, "disk gone\n\nError 0x80040001 in KestrelCfg.CleanUp\nFs.Stat"));
    QCOMPARE(Dialogs().threads, std::vector<std::thread::id>(2, std::this_thread::get_id()));
    QStringList expected{"Starting Clean-up at 2026-12-06 10:02:36..."};
    for (int i = 0; i < 200; ++i)
      expected << QStringLiteral("[Message] m%1").arg(i)
               << QStringLiteral("[File Moved] /f%1").arg(i)
               << QStringLiteral("[Warning] w%1").arg(i);
    expected << "Clean-up completed at 2026-12-06 10:02:36."
             << "200 files moved, 1.00 MB, 200 warnings";
    QCOMPARE(RunLines(), expected);
    QCOMPARE(Progress(), "Folders scanned: 0    Files moved: 200    MB moved: 1.00");
  }

  // While a run goes on only help, Exit and Stop stay open to the user; once discovery is done
  // the move phase shows files moved of files due, in the status line and a bar, and at the
  // window's smallest the status line is not cut. Stop, or closing the window and answering Yes,
  // ends the run cleanly through the engine's own stop, and the window then closes.
  void aRunCanBeStopped_data() {
    QTest::addColumn<bool>("by_closing");
    QTest::newRow("Stop") << false;
    QTest::newRow("closing") << true;
  }
  void aRunCanBeStopped() {
    QFETCH(bool, by_closing);
    std::promise<void> started;
    Run().SetRunner([&](KestrelCfg& cfg, RunControl& control) {
      control.folders_scanned = 12345;
      control.files_due = 3;
      auto file = std::make_shared<RemovedFile>();
      file->OriginalFilename("/home/ann/a del-10-31-2026.xls");
      file->FileSize(2500000);
      program_->fn.FileRemovalRpt->RecordFileMoved(file);
      started.set_value();
      while (!control.StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      CleanUp(program_->fn.World(), cfg, &control);
    });
    Cfg().QuarantineFolder(program_->Path("q"));
    window_->resize(window_->minimumSizeHint());
    StartRun(false);
    started.get_future().wait();
    QTRY_COMPARE(Progress(), "Folders scanned: 12345    Files moved: 1 of 3    MB moved: 2.50");
    auto* bar = Find<QProgressBar>("prgMove");
    QTRY_VERIFY(bar->isVisible());
    QCOMPARE(bar->value(), 1);
    QCOMPARE(bar->maximum(), 3);
    auto* label = Find<QLabel>("lblProgress");
    QTRY_VERIFY(label->height() >= label->heightForWidth(label->width()));
    QVERIFY(label->mapTo(window_.get(), QPoint(label->width(), 0)).x() <= window_->width());
    QCOMPARE(Run().RunButton()->isEnabled(), false);
    for (int page = 0; page < 3; ++page) QCOMPARE(Tabs()->widget(page)->isEnabled(), false);
    for (QAction* action : window_->findChildren<QAction*>(QRegularExpression("^mnu"))) {
      const bool open =
          action->objectName().startsWith("mnuHelp") || action->objectName() == "mnuFileExit";
      QVERIFY2(action->isEnabled() == open, qPrintable(action->objectName()));
    }
    if (by_closing) {
      Dialogs().answers = {MsgResult::Yes};
      QVERIFY(!window_->close());
    } else {
      QTest::mouseClick(Run().StopButton(), Qt::LeftButton);
    }
    QTRY_VERIFY(!Run().Running());
    QVERIFY(!bar->isVisible());
    QCOMPARE(RunLines().mid(1), (QStringList{"[File Moved] /home/ann/a del-10-31-2026.xls",
                                             "[Message] Run stopped by the user",
                                             "Clean-up stopped at 2026-12-06 10:02:36.",
                                             "1 files moved, 2.50 MB, 0 warnings"}));
    QTRY_COMPARE(window_->isVisible(), !by_closing);
  }

  // Names are shown escaped; a run while another holds the lock moves nothing and says why.
  void aRealCleanUpMovesTheDueFileUnderTheRunLock() {
    program_->UseTree();
    const QString tree = program_->QPath("home/ann"), quarantine = program_->QPath("quarantine");
    QVERIFY(program_->MakeDueFile("home/ann/budget\n del-10-31-2025.xls"));
    auto other = std::make_unique<RunLock>(RealSys(), program_->folder.path().toStdString());
    QVERIFY(other->Acquire(program_->clock, 0));
    StartRun();
    const QString done = QStringLiteral("Clean-up completed at 2026-12-06 10:02:36.");
    QCOMPARE(RunLines().mid(1), (QStringList{"Another clean-up run is in progress", done,
                                             "0 files moved, 0.00 MB, 0 warnings"}));
    QCOMPARE(Dialogs().shown.back(),
             "Another clean-up run is in progress\n\nError 0x80040001 in "
             "frmKestrel.cmdRun_Click\nfrmKestrel.cmdRun_Click");

    other.reset();
    StartRun();
    QCOMPARE(RunLines().mid(1),
             (QStringList{"[File Moved] " + tree + "/budget\\n del-10-31-2025.xls", done,
                          "1 files moved, 0.00 MB, 0 warnings"}));
    QVERIFY(QFile::exists(quarantine + QStringLiteral("/budget\n del-10-31-2025.xls")));
    QCOMPARE(Progress(), "Folders scanned: 1    Files moved: 1 of 1    MB moved: 0.00");
  }

  // The window grows from its design size with the desktop's font; the lists and the run
  // output take the room. Every control tells what it is for.
  void theWindowResizes() {
    const QSize design(qRound(5790 * window_->logicalDpiX() / 1440.0),
                       qRound(3750 * window_->logicalDpiX() / 1440.0));
    QCOMPARE(design.boundedTo(window_->centralWidget()->minimumSize()), design);  // never smaller
    QCOMPARE(window_->font(), QApplication::font());
    for (const char* name : {"lstExcludeFolders", "txtRunOutput"}) {
      auto* grows = Find<QAbstractScrollArea>(name);
      Tabs()->setCurrentWidget(grows->parentWidget());
      const QSize before = grows->size();
      window_->resize(window_->size() + QSize(200, 100));
      QTRY_COMPARE(grows->size(), before + QSize(200, 100));
    }
    for (QWidget* control :
         Tabs()->findChildren<QWidget*>(QRegularExpression("^(txt|cmd|lst|chk)")))
      QVERIFY2(!control->toolTip().isEmpty(), qPrintable(control->objectName()));
  }

  // The schedule dialog shows the configuration's schedule, sets it and removes it.
  void setsShowsAndRemovesTheSchedule() {
    FakeRunner runner;
    Scheduler scheduler(RealSys(), runner, program_->Path("home"), "/k", "/usr/bin/kestrel");
    ScheduleDialog dialog(scheduler, "weekly.ksp");
    dialog.show();
    QCOMPARE(dialog.Current()->text(), "Not scheduled.");
    dialog.Calendar()->setCurrentText(QStringLiteral("daily"));
    QTest::mouseClick(dialog.ScheduleButton(), Qt::LeftButton);
    QCOMPARE(dialog.Current()->text(), "Scheduled: daily");
    QCOMPARE(dialog.Message()->text(), "Scheduled weekly.ksp (daily): kestrel@weekly.ksp.timer");
    QVERIFY(!dialog.CrontabLine()->isVisible());

    QTest::mouseClick(dialog.RemoveButton(), Qt::LeftButton);
    QCOMPARE(dialog.Current()->text(), "Not scheduled.");
    QVERIFY(!dialog.RemoveButton()->isEnabled());

    // Without a user manager the crontab line stands in a field of its own, and Copy copies it.
    runner.manager = false;
    dialog.Calendar()->setCurrentText(QStringLiteral("weekly"));
    QTest::mouseClick(dialog.ScheduleButton(), Qt::LeftButton);
    const QString line =
        QStringLiteral("@weekly KESTREL_HOME='/k' '/usr/bin/kestrel' --wait 600 '-s:weekly.ksp'");
    QCOMPARE(dialog.CrontabLine()->text(), line);
    QVERIFY(dialog.CrontabLine()->isVisible() && dialog.CrontabLine()->isReadOnly());
    QCOMPARE(dialog.Message()->text(),
             "There is no systemd user instance. Add this line to your crontab (crontab -e):");
    QTest::mouseClick(dialog.CopyButton(), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), line);
    QCOMPARE(dialog.Current()->text(), "Not scheduled.");
  }
};

}  // namespace kestrel::test

QTEST_MAIN(kestrel::test::MainWindowTest)
#include "main_window_test.moc"
