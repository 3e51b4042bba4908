// Naming a place in a file, and the stop that carries it.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/input_error.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace common {
namespace {

TEST(FormatPosition, FileLineOrEither) {
  const struct {
    FilePosition where;
    const char* text;
  } cases[] = {
      {{"typo.tv2", 7}, "typo.tv2, line 7"},
      {{"list.hkl", 0}, "list.hkl"},
      {{"", 12}, "line 12"},
      {{"", 0}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(format_position(c.where), c.text);
}

TEST(InputError, CarriesTheTextAndThePositionAndPrintsTheTextAsItStands) {
  const InputError e(" Error reading typo.tv2.\n typo.tv2, line 3: unknown keyword.\n",
                     {"typo.tv2", 3});
  EXPECT_EQ(e.where().file, "typo.tv2");
  EXPECT_EQ(e.where().line, 3);
  std::ostringstream out;
  print_error(out, e);
  EXPECT_EQ(out.str(), e.what());
  // Caught as any standard exception, the text is the same.
  try {
    throw e;
  } catch (const std::exception& any) {
    EXPECT_STREQ(any.what(), " Error reading typo.tv2.\n typo.tv2, line 3: unknown keyword.\n");
  }
}

}  // namespace
}  // namespace common
