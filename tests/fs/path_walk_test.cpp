#include "fs/path_walk.h"

#include <gtest/gtest.h>

#include <utility>

namespace kestrel {
namespace {

// Journal lines and lock files name paths as the user would read them, whatever was typed.
TEST(AbsolutePathTest, DropsEmptyDotAndDotDotPartsWithoutAskingTheDisk) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/b", "/a/b"},  {"/a//b/", "/a/b"}, {"/a/./b/.", "/a/b"},        {"/a/x/../b", "/a/b"},
      {"/a/b/..", "/a"}, {"/..", "/"},       {"/a/ b /c d", "/a/ b /c d"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(AbsolutePath(RealSys(), in), out) << in;
}

}  // namespace
}  // namespace kestrel
