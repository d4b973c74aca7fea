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
  // Stamps before the date, or marking would be refused.
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
  // Marking again replaces the date.
  EXPECT_EQ(Mark("budget del-01-05-2027.xls", "del-", At(2027, 2, 1)).new_path,
            dir / "budget del-02-01-2027.xls");
}

TEST_F(MarkFileTest, RefusesAndLeavesTheFileAlone) {
  for (const std::string& name : std::vector<std::string>{
           "a.txt", "a del-01-05-2027.txt", "b rm-01-05-2027.txt", "del-old/c.txt",
           std::string(245, 'x'), "proj/z del-01-01-2026.txt", "proj/sub/y del-12-31-2026.txt",
           "proj/sub/x.txt", "proj/later del-02-02-2027.txt", "fine/later del-02-02-2027.txt"})
    test::MakeFile(dir / name, 1, At(2026, 11, 1));
  test::MakeFile(dir / "new.txt", 1, At(2027, 1, 5, 9));
  const struct {
    std::string name, token, reason;
  } cases[] = {
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
  for (const auto& c : cases) {
    const MarkOutcome out = Mark(c.name, c.token);
    EXPECT_FALSE(out.ok) << c.name;
    EXPECT_EQ(out.reason, c.reason) << c.name;
  }
  test::FaultSys refusing;
  refusing.Fail(test::Op::kRenameAt2, EACCES);
  EXPECT_EQ(MarkFile(refusing, dir / "fine", "del-", kDue).reason,
            "cannot rename: Permission denied");
  EXPECT_EQ(Names(dir.Path()), before);
  EXPECT_TRUE(Mark("fine", "del-").ok);  // a later mark inside is no reason to refuse
  EXPECT_EQ(UnmarkFile(RealSys(), dir / "a.txt", "del-").reason,
            "the name carries no mark \"del-MM-DD-YYYY\"");
}

}  // namespace
}  // namespace kestrel
