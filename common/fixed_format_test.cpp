// Tests of the fixed-column and free-form output notations.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/fixed_format.hpp"
#include "common/free_form_reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

using namespace common;

TEST(FixedFormat, IntegerFields) {
  EXPECT_EQ(format_int(42, 6), "    42");
  EXPECT_EQ(format_int(-7, 4), "  -7");
  EXPECT_EQ(format_int(12345, 4), "****");
  EXPECT_EQ(format_int(-100, 3), "***");
}

TEST(FixedFormat, FixedRealFields) {
  struct Case {
    double v;
    int w, d;
    const char* text;
  };
  const Case cases[] = {
      {2.922, 8, 3, "   2.922"},     {0.5, 8, 2, "    0.50"},     {0.004, 8, 2, "    0.00"},
      {-0.004, 8, 2, "    0.00"},    {-12.345, 8, 2, "  -12.35"}, {359.996, 8, 2, "  360.00"},
      {180.0, 8, 3, " 180.000"},     {12345.6, 6, 1, "******"},   {5.4309f, 13, 6, "     5.430900"},
      {std::nan(""), 5, 1, "*****"},
  };
  for (const Case& c : cases) EXPECT_EQ(format_fixed(c.v, c.w, c.d), c.text) << c.v;
}

TEST(FixedFormat, FreeRealsReadBackExactly) {
  const float values[] = {0.0f,         1.0f,      -101.0f,
                          0.987654321f, 1.0e-7f,   3.4e38f,
                          123456.789f,  -2.5e-12f, std::numeric_limits<float>::denorm_min()};
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

TEST(ShortestText, ReadsBackExactlyInBothNotations) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<std::uint32_t> bits(0, 0x7f7fffffu);
  for (int t = 0; t < 20000; ++t) {
    std::uint32_t b = bits(rng);
    float v;
    std::memcpy(&v, &b, sizeof v);
    if (t % 2) v = -v;
    for (FloatNotation n : {FloatNotation::shortest, FloatNotation::fixed_where_reasonable}) {
      const std::string text = shortest_text(v, n);
      EXPECT_EQ(std::strtof(text.c_str(), nullptr), v) << text;
    }
  }
  const struct {
    float v;
    const char* shortest;
    const char* fixed;
  } cases[] = {
      {5.4309f, "5.4309", "5.4309"},
      {1500.0f, "1500", "1500.0"},
      {1e5f, "1e+05", "100000.0"},
      {3.90625e-05f, "3.90625e-05", "3.90625e-05"},
      {0.1f, "0.1", "0.1"},
      {-0.0f, "-0", "-0.0"},
      {123456789.0f, "123456792", "123456792.0"},
      {2e9f, "2e+09", "2e+09"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shortest_text(c.v), c.shortest);
    EXPECT_EQ(shortest_text(c.v, FloatNotation::fixed_where_reasonable), c.fixed);
  }
}
