// Test fixture of whole Talvor2 runs: a fresh folder per test, files put into it and read back.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <gtest/gtest.h>
#include "common/testing/scratch_folder.hpp"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace talvor {

class RunFolder : public ::testing::Test {
protected:
  explicit RunFolder(std::string prefix) : prefix_(std::move(prefix)) {}

  std::filesystem::path dir;  // removed with everything in it after the test

  void SetUp() override {
    scratch_ = std::make_unique<common::testing::ScratchFolder>(
        prefix_ + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    dir = scratch_->path();
  }
  void TearDown() override { scratch_.reset(); }

  void Put(const std::string& name, const std::string& text) {
    std::ofstream f(dir / name, std::ios::binary);
    f << text;
  }
  std::string Get(const std::string& name) {
    std::ifstream f(dir / name, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }

private:
  std::string prefix_;
  std::unique_ptr<common::testing::ScratchFolder> scratch_;
};

}  // namespace talvor
