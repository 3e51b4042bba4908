// Tests of free-form reading against tricky input lines.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/free_form_reader.hpp"

#include <gtest/gtest.h>

#include <sstream>

using common::FreeFormReader;
using common::ReadStatus;

TEST(FreeFormReader, ValuesSplitOverLinesAndRestOfLastLineIgnored) {
  std::istringstream in("1 2\n\n3 4 trailing words\n5\n");
  FreeFormReader r(in);
  std::int32_t a, b, c;
  ASSERT_TRUE(r.read(a, b, c));
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);  // 4 and the words are ignored
  EXPECT_EQ(r.lines_consumed(), 3);
  ASSERT_TRUE(r.read(a));
  EXPECT_EQ(a, 5);
}

TEST(FreeFormReader, SeparatorsCommasBlanksTabsAndCrLf) {
  std::istringstream in("1,2 ,\t3\r\n 4 , 5,6 \r\n");
  FreeFormReader r(in);
  std::int32_t v[6];
  ASSERT_TRUE(r.read(v[0], v[1], v[2]));
  ASSERT_TRUE(r.read(v[3], v[4], v[5]));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(v[i], i + 1);
}

TEST(FreeFormReader, RealNotations) {
  struct Case {
    const char* text;
    float value;
  };
  const Case cases[] = {
      {"5", 5.0f},          {"5.", 5.0f},          {".5", 0.5f},        {"-.5", -0.5f},
      {"+2.5", 2.5f},       {"1E3", 1000.0f},      {"1.5e-2", 0.015f},  {"2.0D0", 2.0f},
      {"-3.25d+1", -32.5f}, {"0.02508", 0.02508f}, {"5.4309", 5.4309f},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.text);
    FreeFormReader r(in);
    float v = -999;
    ASSERT_TRUE(r.read(v)) << c.text;
    EXPECT_EQ(v, c.value) << c.text;  // exact: rounded once to single precision
  }
}

TEST(FreeFormReader, BadValuesAreReportedWithTheirLine) {
  struct Case {
    const char* text;
    bool integer;
    const char* item;
  };
  const Case cases[] = {
      {"skip\n1.5\n", true, "1.5"}, {"skip\nabc\n", false, "abc"},
      {"skip\n1e\n", false, "1e"},  {"skip\n--1\n", true, "--1"},
      {"skip\n.\n", false, "."},    {"skip\n9999999999\n", true, "9999999999"},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.text);
    FreeFormReader r(in);
    ASSERT_TRUE(r.skip_lines(1));
    std::int32_t i;
    float f;
    auto res = c.integer ? r.read(i) : r.read(f);
    EXPECT_EQ(res.status, ReadStatus::bad_value) << c.text;
    EXPECT_EQ(res.line, 2);
    EXPECT_EQ(res.item, c.item);
  }
  std::istringstream in("x\n1.5\n");
  FreeFormReader r(in);
  r.skip_lines(1);
  std::int32_t i;
  EXPECT_EQ(r.read(i).describe(), "line 2: \"1.5\" is not an integer");
}

TEST(FreeFormReader, EndOfFileInsideAReadAndOnSkips) {
  std::istringstream in("1 2\n");
  FreeFormReader r(in);
  std::int32_t a, b, c;
  auto res = r.read(a, b, c);
  EXPECT_EQ(res.status, ReadStatus::end_of_file);
  EXPECT_EQ(res.line, 2);
  EXPECT_EQ(res.describe(), "end of file at line 2");
  std::istringstream in2("a\nb\n");
  FreeFormReader r2(in2);
  EXPECT_EQ(r2.skip_lines(3).status, ReadStatus::end_of_file);
}

TEST(FreeFormReader, SkipAndEmptyReadConsumeLinesUnread) {
  std::istringstream in("1 2 3\n'unterminated \"quote\n\n7\n");
  FreeFormReader r(in);
  ASSERT_TRUE(r.skip_lines(2));
  ASSERT_TRUE(r.read());  // the empty line
  std::int32_t v;
  ASSERT_TRUE(r.read(v));
  EXPECT_EQ(v, 7);
}

TEST(FreeFormReader, TextItems) {
  std::istringstream in(
      "C:\\data\\images  rest\n'My Images' 'x'\n\"a b, c\" z\nname,other\n'it''s'\n");
  FreeFormReader r(in);
  std::string s, t;
  ASSERT_TRUE(r.read(s));
  EXPECT_EQ(s, "C:\\data\\images");
  ASSERT_TRUE(r.read(s, t));
  EXPECT_EQ(s, "My Images");
  EXPECT_EQ(t, "x");
  ASSERT_TRUE(r.read(s));
  EXPECT_EQ(s, "a b, c");
  ASSERT_TRUE(r.read(s));
  EXPECT_EQ(s, "name");
  ASSERT_TRUE(r.read(s));
  EXPECT_EQ(s, "it's");
}

TEST(FreeFormReader, MixedItemsAcrossLines) {
  std::istringstream in("  14 ,\n  0.25 0.5\n0.75 1.0 comment\n");
  FreeFormReader r(in);
  std::int32_t z;
  float x, y, w, occ;
  ASSERT_TRUE(r.read(z, x, y, w, occ));
  EXPECT_EQ(z, 14);
  EXPECT_EQ(x, 0.25f);
  EXPECT_EQ(occ, 1.0f);
}

TEST(FreeFormReader, FixedColumnInteger) {
  struct Case {
    const char* line;
    std::int32_t value;
  };
  const Case cases[] = {
      {"#S  8  O", 8},    {"#S   8 x", 8}, {"#S    8", 0},
      {"#S 1 4  Si", 14}, {"#S", 0},       {"#S -12  Mg", -12},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.line);
    FreeFormReader r(in);
    std::int32_t v = -1;
    ASSERT_TRUE(r.read_fixed_int(3, 6, v)) << c.line;
    EXPECT_EQ(v, c.value) << c.line;
  }
  std::istringstream bad("#S  x  O\n");
  FreeFormReader r(bad);
  std::int32_t v;
  EXPECT_EQ(r.read_fixed_int(3, 6, v).status, ReadStatus::bad_value);
}

TEST(FreeFormReader, BackspaceRereadsTheLastLineAndRewindStartsOver) {
  std::istringstream in("\n  _Keyword extra\n3\n");
  FreeFormReader r(in);
  std::string word, again;
  ASSERT_TRUE(r.read(word));
  EXPECT_EQ(word, "_Keyword");
  EXPECT_EQ(r.lines_consumed(), 2);
  r.backspace();
  ASSERT_TRUE(r.read_line(again));
  EXPECT_EQ(again, "  _Keyword extra");
  std::int32_t n;
  ASSERT_TRUE(r.read(n));
  EXPECT_EQ(n, 3);
  ASSERT_TRUE(r.rewind());
  ASSERT_TRUE(r.read(word));
  EXPECT_EQ(word, "_Keyword");
}
