// Tests of the thread count taken from VELMORANT_THREADS.
#include "programs/Velmorant/thread_count.hpp"

#include <sstream>

#include <gtest/gtest.h>

namespace velmorant {
namespace {

TEST(ThreadCount, ValuesOfTheVariable) {
  const struct {
    const char* text;
    int threads;
    bool message;
  } cases[] = {
      {nullptr, 2, false}, {"", 2, false},     {"1", 1, false},     {"4", 4, false},    {"256", 256, false},
      {"9999", 256, false}, {"99999999999999999999", 256, false}, {"0", 2, true},       {"-3", 2, true},
      {"two", 2, true},     {"2x", 2, true},   {" 2", 2, true},     {"+2", 2, true},    {"1.5", 2, true},
  };
  for (const auto& c : cases) {
    std::ostringstream err;
    EXPECT_EQ(thread_count(c.text, 2, err), c.threads) << (c.text ? c.text : "(not set)");
    EXPECT_EQ(!err.str().empty(), c.message) << (c.text ? c.text : "(not set)");
  }
}

TEST(ThreadCount, DefaultIsEveryHardwareThreadAndAtLeastOne) {
  std::ostringstream err;
  EXPECT_EQ(thread_count(nullptr, 8, err), 8);
  EXPECT_EQ(thread_count(nullptr, 0, err), 1);
  EXPECT_EQ(thread_count("junk", 0, err), 1);
}

}  // namespace
}  // namespace velmorant
