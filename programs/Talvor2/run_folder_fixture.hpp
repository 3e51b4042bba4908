// Test fixture of whole Talvor2 runs: a fresh folder per test, files put into it and read back.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace talvor {

class RunFolder : public ::testing::Test {
protected:
  explicit RunFolder(std::string prefix) : prefix_(std::move(prefix)) {}

  std::filesystem::path dir;  // removed with everything in it after the test

  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          (prefix_ + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

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
};

}  // namespace talvor
