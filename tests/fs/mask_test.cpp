#include <gtest/gtest.h>

#include <string>

#include "fs/names.h"
#include "fs/win32_wrapper.h"

namespace kestrel {
namespace {

struct MaskCase {
  std::string path;
  std::string mask;
  bool fits;
};

TEST(PathMatchesSpec, FollowsTheWildcardRules) {
  const std::string date_mask = "*del-?\?-?\?-????*";
  const MaskCase cases[] = {
      {"/x/DEL-01-02-2020 a.txt", date_mask, true},
      {"/x/del-1-2-2020.txt", date_mask, false},
      {"/x/del-01-02-2020", date_mask, true},
      {"/x/del-01-02-202", date_mask, false},
      {"/a/b/c.txt", "*.txt", true},  // "*" runs over separators
      {"C.TXT", "*.txt", true},
      {"c.txt", "*.doc;*.txt", true},
      {"c.txt", "*.doc; *.txt", true},
      {"c.pdf", "*.doc;*.txt", false},
      {"abc", "abc", true},
      {"abcd", "abc", false},  // the whole text must fit
      {"xabc", "abc", false},
      {"", "*", true},
      {"a", "", false},
      {"[a].txt", "[a].txt", true},
      {"\xc3\xa9", "?", false},  // "?" is one byte, not one character
      {"\xc3\xa9", "??", true},
      {"\xc3\x89", "\xc3\xa9", false},  // only ASCII letters fold
      {"ab\xff\n.txt", "AB?\n.*", true},
      {std::string(3000, 'a'), "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", false},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(Win32Wrapper::PathMatchesSpec(c.path, c.mask), c.fits)
        << "path '" << c.path.substr(0, 40) << "' mask '" << c.mask << "'";
  }
}

TEST(StripNulls, CutsAtTheFirstNul) {
  std::string field = "abc" + std::string(257, '\0');
  EXPECT_EQ(Win32Wrapper::StripNulls(field), "abc");
  EXPECT_EQ(field, "abc");
  std::string plain = "abc";
  EXPECT_EQ(Win32Wrapper::StripNulls(plain), "abc");
  std::string leading = std::string(1, '\0') + "x";
  EXPECT_EQ(Win32Wrapper::StripNulls(leading), "");
}

TEST(FileNameParts, SplitAtTheLastSeparatorAndDot) {
  struct Case {
    std::string path, name, base, extension;
  } const cases[] = {
      {"/a/b/report.final.doc", "report.final.doc", "report.final", ".doc"},
      {"/home/u/.bashrc", ".bashrc", ".bashrc", ""},
      {"/a.d/noext", "noext", "noext", ""},
      {"x.tar.gz", "x.tar.gz", "x.tar", ".gz"},
      {"/a/b/", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Win32Wrapper::Filename(c.path), c.name) << c.path;
    EXPECT_EQ(Win32Wrapper::BaseFileName(c.path), c.base) << c.path;
    EXPECT_EQ(Win32Wrapper::FileExtension(c.path), c.extension) << c.path;
  }
}

TEST(NumberedName, PutsTheNumberBeforeTheExtension) {
  EXPECT_EQ(NumberedName("x.txt", 1), "x.txt");
  EXPECT_EQ(NumberedName("x.txt", 2), "x (2).txt");
  EXPECT_EQ(NumberedName("a.tar.gz", 3), "a.tar (3).gz");
  EXPECT_EQ(NumberedName("noext", 2), "noext (2)");
  EXPECT_EQ(NumberedName(".bashrc", 2), ".bashrc (2)");
}

}  // namespace
}  // namespace kestrel
