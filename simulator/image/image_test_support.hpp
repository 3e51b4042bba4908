// Small helpers shared by the image tests: a scratch folder, whole-file I/O, an image folder fixture.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/testing/scratch_folder.hpp"
#include "simulator/input/simulation_input.hpp"

namespace velmorant::testing {

// A fresh folder under the system's temporary directory, removed at the end.
using ScratchFolder = common::testing::ScratchFolder;

inline std::vector<std::uint8_t> read_bytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// An input whose experimental image is "exp.bmp" in a scratch folder.
class ImageFolderTest : public ::testing::Test {
protected:
  ScratchFolder dir;
  std::unique_ptr<SimulationInput> in = std::make_unique<SimulationInput>();
  void SetUp() override {
    in->image_directory = dir.path().string();
    in->image_name = "exp.bmp";
  }
};

}  // namespace velmorant::testing
