// Tests of the command-line rule and the result-file lines.
// SPDX-License-Identifier: BSD-3-Clause
#include "programs/Velmorant/sampling_method.hpp"

#include <gtest/gtest.h>

#include <string>

namespace velmorant {
namespace {

TEST(SamplingMethod, FirstArgumentAsSixteenCharacters) {
  const struct {
    const char* argument;
    int method;  // -1: estimate query
  } cases[] = {
      {"0", 0},  // full
      {"1", 1},  // adaptive
      {"2", 2},  // block
      {"3", -1},  {"12", -1}, {"01", -1},  {"-1", -1},
      {"+1", -1}, {"1.", -1}, {"1.0", -1}, {" 1", -1},  // a leading blank is part of the text
      {"1 ", 1},  // a trailing blank is not: the text is padded with blanks anyway
      {"", -1},   {"a", -1},
  };
  for (const auto& c : cases) {
    std::optional<SamplingMethod> m = sampling_method(c.argument);
    EXPECT_EQ(m ? static_cast<int>(*m) : -1, c.method) << '"' << c.argument << '"';
  }
  EXPECT_FALSE(sampling_method(nullptr).has_value());
  // Only the first 16 characters count: "2", 15 blanks, "x" is method 2;
  // "2", 14 blanks, "x" is a query.
  std::string long_argument(17, ' ');
  long_argument.front() = '2';
  long_argument.back() = 'x';
  EXPECT_EQ(sampling_method(long_argument.c_str()), SamplingMethod::block);
  long_argument.erase(1, 1);
  EXPECT_FALSE(sampling_method(long_argument.c_str()).has_value());
}

}  // namespace
}  // namespace velmorant
