// PNG encoding: signature and header of grey and colour pictures, errors reported (or no PNG support said).
// SPDX-License-Identifier: BSD-3-Clause
#include "common/png_encode.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace common {
namespace {

TEST(PngEncode, GreyAndColourPicturesHaveTheirHeader) {
  std::string error;
  const std::vector<std::uint8_t> grey(6 * 4, 128), rgb(3 * 5 * 2, 200);
  const auto g = encode_png(grey.data(), 6, 4, 8, PngColour::grey, error);
  if (!png_supported()) {
    EXPECT_TRUE(g.empty());
    EXPECT_NE(error.find("no PNG support"), std::string::npos);
    return;
  }
  const auto c = encode_png(rgb.data(), 5, 2, 8, PngColour::rgb, error);
  const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  for (const auto* png : {&g, &c}) {
    ASSERT_GT(png->size(), 33u);
    EXPECT_TRUE(std::equal(signature, signature + 8, png->begin()));
  }
  // IHDR: width, height (big-endian), bit depth, colour type (0 grey, 2 RGB).
  EXPECT_EQ(g[19], 6);
  EXPECT_EQ(g[23], 4);
  EXPECT_EQ(g[24], 8);
  EXPECT_EQ(g[25], 0);
  EXPECT_EQ(c[19], 5);
  EXPECT_EQ(c[23], 2);
  EXPECT_EQ(c[25], 2);
  // libpng's own checks reach the caller as an error, not a crash.
  EXPECT_TRUE(encode_png(grey.data(), 0, 4, 8, PngColour::grey, error).empty());
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace common
