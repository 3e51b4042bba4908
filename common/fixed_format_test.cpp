// Tests of the fixed-column and free-form output notations.
#include "common/fixed_format.hpp"
#include "common/free_form_reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace common;

TEST(FixedFormat, IntegerFields) {
  EXPECT_EQ(format_int(42, 6), "    42");
  EXPECT_EQ(format_int(-7, 4), "  -7");
  EXPECT_EQ(format_int(12345, 4), "****");
  EXPECT_EQ(format_int(-100, 3), "***");
}

TEST(FixedFormat, FixedRealFields) {
  struct Case { double v; int w, d; const char* text; };
  const Case cases[] = {
      {2.922, 8, 3, "   2.922"}, {0.5, 8, 2, "    0.50"},   {0.004, 8, 2, "    0.00"},
      {-0.004, 8, 2, "    0.00"}, {-12.345, 8, 2, "  -12.35"}, {359.996, 8, 2, "  360.00"},
      {180.0, 8, 3, " 180.000"},  {12345.6, 6, 1, "******"},  {5.4309f, 13, 6, "     5.430900"},
      {std::nan(""), 5, 1, "*****"},
  };
  for (const Case& c : cases) EXPECT_EQ(format_fixed(c.v, c.w, c.d), c.text) << c.v;
}

TEST(FixedFormat, FreeRealsReadBackExactly) {
  const float values[] = {0.0f, 1.0f, -101.0f, 0.987654321f, 1.0e-7f, 3.4e38f, 123456.789f, -2.5e-12f,
                          std::numeric_limits<float>::denorm_min()};
  for (float v : values) {
    std::string text = free_real(v);
    ASSERT_EQ(text[0], ' ');
    float back = 1234.5f;
    ASSERT_TRUE(parse_real(text.substr(1), back)) << text;
    EXPECT_EQ(back, v) << text;
  }
  EXPECT_EQ(free_real(2.0f), " 2.0");
  EXPECT_EQ(free_int(150), " 150");
}
