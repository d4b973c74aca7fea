#include "fs/list_ahead.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(WalkThreads, CountsPositiveWholeNumbersUpToTheCores) {
  const struct {
    const char* value;
    unsigned cores;
    int threads;  // 0: refused
  } cases[] = {
      {nullptr, 2, 2}, {nullptr, 0, 1}, {"1", 2, 1},   {"2", 8, 2},  {"3", 2, 2},
      {"007", 8, 7},   {"99999999999999999999", 4, 4}, {"0", 2, 0},  {"", 2, 0},
      {"-1", 2, 0},    {"+2", 2, 0},     {"2 ", 2, 0},  {"1.5", 2, 0}, {"two", 2, 0},
  };
  for (const auto& c : cases) {
    std::string why;
    EXPECT_EQ(WalkThreads(c.value, c.cores, why), c.threads) << (c.value ? c.value : "unset");
    EXPECT_EQ(why.empty(), c.threads != 0) << why;
  }
  std::string why;
  WalkThreads("x", 2, why);
  EXPECT_EQ(why, "KESTREL_THREADS must be a positive whole number, not \"x\"");
}

}  // namespace
}  // namespace kestrel
