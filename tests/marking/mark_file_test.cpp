#include "marking/mark_file.h"

#include <sys/stat.h>

#include "fs/sys.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"

namespace kestrel {
namespace {

using test::At;
using test::Names;

const DateTime kDue = At(2027, 1, 5);

class MarkFileTest : public ::testing::Test {
 protected:
  MarkOutcome Mark(const std::string& name, const std::string& token = "del-",
                   DateTime date = kDue) {
    return MarkFile(RealSys(), dir / name, token, date);
  }
  test::TempDir dir;
};

TEST_F(MarkFileTest, RenamesFilesFoldersAndLinksKeepingTheirStamps) {
  test::MakeFile(dir / "budget.xls", 3, At(2026, 11, 1, 9));
  test::MakeDir(dir / "photos");
  test::MakeLink("budget del-01-05-2027.xls", dir / "link.txt");
  test::SetStamp(dir / "link.txt", At(2026, 11, 2));
  test::SetStamp(dir / "photos", At(2026, 11, 3));
  for (const char* name : {"budget.xls", "photos", "link.txt"}) {
    const MarkOutcome out = Mark(name);
    EXPECT_TRUE(out.ok) << name << ": " << out.reason;
  }
  EXPECT_EQ(Names(dir.Path()),
            (std::vector<std::string>{"budget del-01-05-2027.xls", "link del-01-05-2027.txt",
                                      "photos del-01-05-2027"}));
  EXPECT_TRUE(S_ISLNK(test::LStat(dir / "link del-01-05-2027.txt").st_mode));
  EXPECT_EQ(DateTime::FromTimeT(test::LStat(dir / "budget del-01-05-2027.xls").st_mtime),
            At(2026, 11, 1, 9));
  EXPECT_EQ(DateTime::FromTimeT(test::LStat(dir / "photos del-01-05-2027").st_mtime),
            At(2026, 11, 3));
  // Marking again replaces the date; unmarking gives the first name back.
  EXPECT_EQ(Mark("budget del-01-05-2027.xls", "del-", At(2027, 2, 1)).new_path,
            dir / "budget del-02-01-2027.xls");
  EXPECT_EQ(UnmarkFile(RealSys(), dir / "budget del-02-01-2027.xls", "del-").new_path,
            dir / "budget.xls");
  EXPECT_EQ(test::ReadFile(dir / "budget.xls").size(), 3u);
}

TEST_F(MarkFileTest, RefusesAndLeavesTheFileAlone) {
  test::MakeFile(dir / "a.txt", 1, At(2026, 11, 1));
  test::MakeFile(dir / "a del-01-05-2027.txt", 1, At(2026, 11, 1));
  test::MakeFile(dir / "b rm-01-05-2027.txt", 1, At(2026, 11, 1));
  test::MakeFile(dir / "del-old/c.txt", 1, At(2026, 11, 1));
  test::MakeFile(dir / "new.txt", 1, At(2027, 1, 5, 9));
  test::MakeFile(dir / std::string(245, 'x'), 1, At(2026, 11, 1));
  for (const char* inside : {"z del-01-01-2026.txt", "sub/y del-12-31-2026.txt", "sub/x.txt",
                             "later del-02-02-2027.txt"})
    test::MakeFile(dir / "proj/" + inside, 1, At(2026, 11, 1));
  test::MakeFile(dir / "fine/later del-02-02-2027.txt", 1, At(2026, 11, 1));
  struct Case {
    std::string name;
    std::string token;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"a.txt", "del-", "the name is taken: " + (dir / "a del-01-05-2027.txt")},
      {"a.txt", "", "the prefix token is empty"},
      {"missing.txt", "del-", "No such file or directory"},
      {"b rm-01-05-2027.txt", "del-", "already marked with another token \"rm-\""},
      {"del-old/c.txt", "del-",
       "\"del-\" already stands earlier in the path, so a run would not read this date"},
      {"new.txt", "del-",
       "the date is before the file's last change (2027-01-05 09:00:00): a run would never "
       "remove it"},
      {std::string(245, 'x'), "del-",
       "the new name would be longer than the file system allows (255 bytes)"},
      {"proj", "del-",
       "it holds a mark due earlier, which a run would no longer read: " +
           (dir / "proj/sub/y del-12-31-2026.txt")},
  };
  const auto before = Names(dir.Path());
  for (const Case& c : cases) {
    const MarkOutcome out = Mark(c.name, c.token);
    EXPECT_FALSE(out.ok) << c.name;
    EXPECT_EQ(out.reason, c.reason) << c.name;
  }
  EXPECT_EQ(Names(dir.Path()), before);
  EXPECT_TRUE(Mark("fine", "del-").ok);  // a later mark inside is no reason to refuse
  EXPECT_EQ(UnmarkFile(RealSys(), dir / "a.txt", "del-").reason,
            "the name carries no mark \"del-MM-DD-YYYY\"");
}

TEST_F(MarkFileTest, ReportsARenameTheFileSystemRefuses) {
  test::MakeFile(dir / "a.txt", 1, At(2026, 11, 1));
  test::FaultSys sys;
  sys.Fail(test::Op::kRenameAt2, EACCES);
  EXPECT_EQ(MarkFile(sys, dir / "a.txt", "del-", kDue).reason, "cannot rename: Permission denied");
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"a.txt"});
}

}  // namespace
}  // namespace kestrel
