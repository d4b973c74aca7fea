#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "ui/ui_fixture.h"

using namespace kestrel;

namespace {

QStringList Texts(const QListWidget* list) {
  QStringList texts;
  for (int row = 0; row < list->count(); ++row) texts << list->item(row)->text();
  return texts;
}

std::vector<std::string> Names(const FolderList& folders) {
  std::vector<std::string> names;
  for (const auto& folder : folders) names.push_back(folder.FolderName());
  return names;
}

}  // namespace

class FolderListsTest : public QObject {
  Q_OBJECT

 private:
  KestrelCfg& Cfg() { return *program_->fn.CurrentCfg; }
  ScriptedDialogs& Dialogs() { return program_->dialogs; }
  // The controls of one tab: "Include" or "Exclude".
  struct Tab {
    QListWidget* list;
    QLineEdit* field;
    QPushButton* add;
    QPushButton* remove;
  };
  Tab Open(const char* which) {
    const std::string w = which;
    view_->Find<QTabWidget>("tsTabStrip")->setCurrentIndex(w == "Include" ? 1 : 2);
    return {view_->Find<QListWidget>(("lst" + w + "Folders").c_str()),
            view_->Find<QLineEdit>(("txtNew" + w + "Folder").c_str()),
            view_->Find<QPushButton>(("cmdAdd" + w + "Folder").c_str()),
            view_->Find<QPushButton>(("cmdRemove" + w + "Folder").c_str())};
  }
  void Click(QListWidget* list, int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
  }
  void Add(const Tab& tab, const QString& name) {
    tab.field->setText(name);
    QTest::mouseClick(tab.add, Qt::LeftButton);
  }

  std::unique_ptr<TestProgram> program_;
  std::unique_ptr<TestWindow> view_;
  QString existing_;

 private slots:
  void init() {
    program_ = std::make_unique<TestProgram>();
    existing_ = QString::fromStdString(program_->Path("Data"));
    QDir().mkpath(existing_);
    Cfg().IncludeFolders().emplace_back("/first", true);
    Cfg().IncludeFolders().emplace_back("/second", false);
    view_ = std::make_unique<TestWindow>(*program_);
  }
  void cleanup() {
    QCOMPARE(Dialogs().unanswered, 0);
    view_.reset();
    program_.reset();
  }

  void fillShowsEntriesWithTheirChecksAndNoCurrentOne() {
    Tab tab = Open("Include");
    QCOMPARE(Texts(tab.list), (QStringList{"/first", "/second"}));
    QCOMPARE(tab.list->item(0)->checkState(), Qt::Checked);
    QCOMPARE(tab.list->item(1)->checkState(), Qt::Unchecked);
    QCOMPARE(tab.list->currentItem(), nullptr);
    QVERIFY(!tab.add->isEnabled());
    QVERIFY(!tab.remove->isEnabled());
    QVERIFY(tab.field->hasFocus());
  }

  void addingAnExistingFolderChangesBothLists() {
    Tab tab = Open("Include");
    Add(tab, "  " + existing_ + " ");
    QCOMPARE(Texts(tab.list), (QStringList{"/first", "/second", existing_}));
    QCOMPARE(tab.list->item(2)->checkState(), Qt::Unchecked);
    QCOMPARE(Names(Cfg().IncludeFolders()),
             (std::vector<std::string>{"/first", "/second", existing_.toStdString()}));
    QVERIFY(!Cfg().IncludeFolders().back().IncludeSubs());
    QVERIFY(Cfg().IsDirty());
    QCOMPARE(tab.field->text(), QString());
    QVERIFY(!tab.add->isEnabled());
    QVERIFY(tab.field->hasFocus());
    QCOMPARE(Dialogs().shown.size(), std::size_t{0});
  }

  void aMissingIncludeFolderIsAddedOnlyAfterYes() {
    Tab tab = Open("Include");
    Dialogs().answers = {MsgResult::No, MsgResult::Yes};
    Add(tab, QStringLiteral("/no/such/folder"));
    QCOMPARE(Dialogs().shown.size(), std::size_t{1});
    QCOMPARE(Dialogs().shown[0].text, std::string("The folder '/no/such/folder' does not exist.\n"
                                                  "Are you sure you want to add it?"));
    QCOMPARE(Dialogs().shown[0].buttons, MsgButtons::YesNo);
    QCOMPARE(Dialogs().shown[0].icon, MsgIcon::Question);
    QCOMPARE(tab.list->count(), 2);
    QCOMPARE(tab.field->text(), QStringLiteral("/no/such/folder"));
    QVERIFY(!Cfg().IsDirty());

    QTest::mouseClick(tab.add, Qt::LeftButton);
    QCOMPARE(Texts(tab.list).last(), QStringLiteral("/no/such/folder"));
    QCOMPARE(Cfg().IncludeFolders().size(), std::size_t{3});
  }

  // The existence question comes first; the duplicate test then drops the name silently.
  void aNameListedInAnotherCaseIsDropped() {
    Tab tab = Open("Include");
    Dialogs().answers = {MsgResult::Yes};
    Add(tab, QStringLiteral("/FIRST"));
    QCOMPARE(Dialogs().shown.size(), std::size_t{1});
    QCOMPARE(tab.list->count(), 2);
    QCOMPARE(Cfg().IncludeFolders().size(), std::size_t{2});
    QCOMPARE(tab.field->text(), QString());
    QVERIFY(!Cfg().IsDirty());
  }

  void excludeAddsMissingFoldersWithoutAsking() {
    Tab tab = Open("Exclude");
    Add(tab, QStringLiteral("/no/such/folder"));
    Add(tab, QStringLiteral("/No/Such/Folder"));
    QCOMPARE(Dialogs().shown.size(), std::size_t{0});
    QCOMPARE(Texts(tab.list), QStringList{"/no/such/folder"});
    QCOMPARE(Names(Cfg().ExcludeFolders()), std::vector<std::string>{"/no/such/folder"});
  }

  void blanksOnlyLeaveAddDisabled() {
    Tab tab = Open("Exclude");
    tab.field->setText(QStringLiteral("   "));
    QVERIFY(!tab.add->isEnabled());
    tab.field->setText(QStringLiteral(" x "));
    QVERIFY(tab.add->isEnabled());
  }

  void clickingAnEntryCopiesItsName() {
    Tab tab = Open("Include");
    Click(tab.list, 1);
    QCOMPARE(tab.field->text(), QStringLiteral("/second"));
    QVERIFY(tab.add->isEnabled());
    QVERIFY(tab.remove->isEnabled());
    QVERIFY(!Cfg().IsDirty());
  }

  void removeDoesNothingWhileNoEntryIsChecked() {
    Tab tab = Open("Include");
    tab.list->item(0)->setCheckState(Qt::Unchecked);
    Click(tab.list, 1);
    QTest::mouseClick(tab.remove, Qt::LeftButton);
    QCOMPARE(Dialogs().shown.size(), std::size_t{0});
    QCOMPARE(tab.list->count(), 2);
    QVERIFY(!Cfg().IsDirty());
  }

  // The current entry goes, not the checked one; a No still marks the configuration dirty.
  void removeAsksAboutTheCurrentEntry() {
    Tab tab = Open("Include");
    Click(tab.list, 1);
    Dialogs().answers = {MsgResult::No, MsgResult::Yes};
    QTest::mouseClick(tab.remove, Qt::LeftButton);
    QCOMPARE(Dialogs().shown.size(), std::size_t{1});
    QCOMPARE(Dialogs().shown[0].text,
             std::string("Are you sure you want to remove /second from the list?"));
    QCOMPARE(Dialogs().shown[0].caption, std::string("Remove Include Folder"));
    QCOMPARE(Dialogs().shown[0].buttons, MsgButtons::YesNo);
    QCOMPARE(tab.list->count(), 2);
    QCOMPARE(Cfg().IncludeFolders().size(), std::size_t{2});
    QVERIFY(Cfg().IsDirty());

    QTest::mouseClick(tab.remove, Qt::LeftButton);
    QCOMPARE(Texts(tab.list), QStringList{"/first"});
    QCOMPARE(Names(Cfg().IncludeFolders()), std::vector<std::string>{"/first"});
    QCOMPARE(tab.list->currentItem(), nullptr);
    QVERIFY(!tab.remove->isEnabled());
    QVERIFY(tab.field->hasFocus());
  }

  void removeOnTheExcludeTabHasItsOwnCaption() {
    Tab tab = Open("Exclude");
    Add(tab, QStringLiteral("/tmp"));
    tab.list->item(0)->setCheckState(Qt::Checked);
    Click(tab.list, 0);
    Dialogs().answers = {MsgResult::Yes};
    QTest::mouseClick(tab.remove, Qt::LeftButton);
    QCOMPARE(Dialogs().shown.back().caption, std::string("Remove Exclude Folder"));
    QCOMPARE(tab.list->count(), 0);
    QVERIFY(Cfg().ExcludeFolders().empty());
  }

  // A tick changes only the window's list until Save copies it.
  void aTickLeavesTheConfigurationAlone() {
    Tab tab = Open("Include");
    tab.list->item(1)->setCheckState(Qt::Checked);
    QVERIFY(!Cfg().IncludeFolders()[1].IncludeSubs());
    QVERIFY(!Cfg().IsDirty());
  }

  void enterPressesTheAddButtonOfTheLastFolderTabShown() {
    Tab exclude = Open("Exclude");
    exclude.field->setText(QStringLiteral("/var/cache"));
    QTest::keyClick(exclude.field, Qt::Key_Return);
    QCOMPARE(Texts(exclude.list), QStringList{"/var/cache"});
    QCOMPARE(view_->window.DefaultButton(), exclude.add);

    Tab include = Open("Include");
    QCOMPARE(view_->window.DefaultButton(), include.add);
    view_->Find<QTabWidget>("tsTabStrip")->setCurrentIndex(0);
    QCOMPARE(view_->window.DefaultButton(), include.add);
  }
};

QTEST_MAIN(FolderListsTest)
#include "folder_lists_test.moc"
