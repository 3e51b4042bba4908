// Tests of the image path joining.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/image_path.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace velmorant {
namespace {

struct JoinCase {
  const char* directory;
  const char* name;
  const char* expected;
};

TEST(JoinImagePath, FolderSeparatorsAndBlanks) {
  const JoinCase cases[] = {
      {"images", "si.bmp", "images/si.bmp"},
      {"/data/run 1", "si.bmp", "/data/run 1/si.bmp"},
      {"images\\si\\111", "si.bmp", "images/si/111/si.bmp"},  // written on Windows
      {"images   ", "si.bmp   ", "images/si.bmp"},            // trailing blanks of the fields
      {".", "si.bmp", "./si.bmp"},
      {"", "si.bmp", "si.bmp"},  // no folder: working directory
      {"   ", "si.bmp", "si.bmp"},
  };
  for (const JoinCase& c : cases)
    EXPECT_EQ(join_image_path(c.directory, c.name), c.expected) << '"' << c.directory << '"';
}

TEST(JoinImagePath, BackslashInTheNameIsKept) {
  EXPECT_EQ(join_image_path("a", "b\\c.bmp"), "a/b\\c.bmp");
}

TEST(ImagePaths, SimulatedImageHasThePrefix) {
  auto in = std::make_unique<SimulationInput>();
  in->image_directory = "exp\\si";
  in->image_name = "pattern.bmp";
  EXPECT_EQ(experimental_image_path(*in), "exp/si/pattern.bmp");
  EXPECT_EQ(simulated_image_path(*in), "exp/si/DS_pattern.bmp");
}

}  // namespace
}  // namespace velmorant
