#include "app/command_line.h"
#include "app/commands/commands.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;
using test::Names;

// Now is 2026-12-06 10:00:00; the token comes from default.ksp or --config.
class MarkCommandTest : public test::EngineTest {
 protected:
  int Run(const std::vector<std::string>& args) { return RunLongCommandLine(fn, args, Commands()); }
  test::TempDir files;
};

TEST_F(MarkCommandTest, MarksEachFileWithTheTokenOfItsConfiguration) {
  test::WriteFile(home / "default.ksp",
                  "[Options]\nPrefixToken=rm-\n[Include]\nIncludeFoldersCount=0\n");
  test::WriteFile(home / "other.ksp",
                  "[Options]\nPrefixToken=Weg-\n[Include]\nIncludeFoldersCount=0\n");
  test::MakeFile(files / "bud\nget.xls", 1, At(2026, 11, 1));
  test::MakeFile(files / "notes.txt", 1, At(2026, 11, 1));
  testing::internal::CaptureStdout();
  EXPECT_EQ(Run({"--mark", "30d", files / "bud\nget.xls"}), kExitOk);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            files.Path() + "/bud\\nget.xls -> bud\\nget rm-01-05-2027.xls\n");
  EXPECT_EQ(Run({"--mark", "01-31-2027", "--config", "other.ksp", "--", files / "notes.txt",
                 files / "missing.txt"}),
            kExitRunFailed);
  EXPECT_EQ(Names(files.Path()),
            (std::vector<std::string>{"bud\nget rm-01-05-2027.xls", "notes Weg-01-31-2027.txt"}));
  EXPECT_EQ(Run({"--unmark", files / "bud\nget rm-01-05-2027.xls"}), kExitOk);
  EXPECT_EQ(Names(files.Path()),
            (std::vector<std::string>{"bud\nget.xls", "notes Weg-01-31-2027.txt"}));
}

TEST_F(MarkCommandTest, ABadCommandLineOrConfigurationRenamesNothing) {
  test::WriteFile(home / "empty.ksp",
                  "[Options]\nPrefixToken=\n[Include]\nIncludeFoldersCount=0\n");
  test::MakeFile(files / "a.txt", 1, At(2026, 11, 1));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--mark", "30x", files / "a.txt"},
           {"--mark", "1w"},
           {"--unmark"},
           {"--mark", "1w", "--config", "empty.ksp", files / "a.txt"},
           {"--mark", "1w", "--config", "missing.ksp", files / "a.txt"}}) {
    EXPECT_EQ(Run(args), kExitBadInput) << args[1];
  }
  EXPECT_EQ(Names(files.Path()), std::vector<std::string>{"a.txt"});
}

}  // namespace
}  // namespace kestrel
