// Tests of the thread count taken from a program's environment variable (VELMORANT_THREADS, TALVOR2_THREADS).
// SPDX-License-Identifier: BSD-3-Clause
#include "common/thread_count.hpp"

#include <sstream>

#include <gtest/gtest.h>

namespace common {
namespace {

constexpr ThreadSetting kVelmorant{"Velmorant", "VELMORANT_THREADS", 256};
constexpr ThreadSetting kTalvor2{"Talvor2", "TALVOR2_THREADS", 1024};

TEST(ThreadCount, ValuesOfTheVariable) {
  const struct {
    const char* text;
    int velmorant, talvor2;  // threads with 2 hardware threads
    bool message;
  } cases[] = {
      {nullptr, 2, 2, false},     {"", 2, 2, false},
      {"1", 1, 1, false},         {"4", 4, 4, false},
      {"256", 256, 256, false},   {"1024", 256, 1024, false},
      {"9999", 256, 1024, false}, {"99999999999999999999", 256, 1024, false},
      {"0", 2, 2, true},          {"-3", 2, 2, true},
      {"two", 2, 2, true},        {"2x", 2, 2, true},
      {" 2", 2, 2, true},         {"+2", 2, 2, true},
      {"1.5", 2, 2, true},
  };
  for (const auto& c : cases) {
    const char* shown = c.text ? c.text : "(not set)";
    std::ostringstream err_v, err_t;
    EXPECT_EQ(thread_count(kVelmorant, c.text, 2, err_v), c.velmorant) << shown;
    EXPECT_EQ(thread_count(kTalvor2, c.text, 2, err_t), c.talvor2) << shown;
    EXPECT_EQ(!err_v.str().empty(), c.message) << shown;
    EXPECT_EQ(!err_t.str().empty(), c.message) << shown;
  }
  std::ostringstream err;
  thread_count(kTalvor2, "two", 3, err);
  EXPECT_EQ(err.str(),
            "Talvor2: TALVOR2_THREADS=\"two\" is not a positive whole number; using 3 threads\n");
}

TEST(ThreadCount, DefaultIsEveryHardwareThreadAndAtLeastOne) {
  std::ostringstream err;
  EXPECT_EQ(thread_count(kVelmorant, nullptr, 8, err), 8);
  EXPECT_EQ(thread_count(kVelmorant, nullptr, 0, err), 1);
  EXPECT_EQ(thread_count(kVelmorant, "junk", 0, err), 1);
  EXPECT_EQ(thread_count(kVelmorant, nullptr, 4096, err), 256);
  EXPECT_EQ(thread_count(kTalvor2, nullptr, 4096, err), 1024);
}

}  // namespace
}  // namespace common
