// Tests of the provenance line: UTC calendar dates at day boundaries and the line's layout.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/provenance.hpp"

#include <gtest/gtest.h>

#include "common/version.hpp"

namespace common {
namespace {

TEST(Provenance, UtcDateAtDayBoundariesAndLeapDays) {
  const struct {
    std::time_t seconds;  // since 1970-01-01T00:00:00Z
    const char* date;
  } cases[] = {
      {0, "1970-01-01"},          {86399, "1970-01-01"},     {86400, "1970-01-02"},
      {946684799, "1999-12-31"},  {951825600, "2000-02-29"}, {1797033599, "2026-12-11"},
      {1797033600, "2026-12-12"},
  };
  for (const auto& c : cases) EXPECT_EQ(utc_date(c.seconds), c.date) << c.seconds;
}

TEST(Provenance, NamesTheProgramTheSuiteVersionAndTheDate) {
  EXPECT_EQ(program_version("hklconv"), "hklconv " + std::string(kSuiteVersion));
  EXPECT_EQ(provenance("Talvor2", "2026-12-11"),
            "Talvor2 " + std::string(kSuiteVersion) + ", 2026-12-11");
  EXPECT_EQ(utc_date_today().size(), 10u);
}

}  // namespace
}  // namespace common
