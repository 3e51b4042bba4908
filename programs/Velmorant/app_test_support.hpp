// Helpers of the driver tests: a scratch working directory and small input files.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "simulator/image/image_test_support.hpp"

namespace velmorant::testing {

// A scratch folder that is the working directory while the object lives.
class ScratchWorkingDirectory : public ScratchFolder {
public:
  ScratchWorkingDirectory() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path());
  }
  ~ScratchWorkingDirectory() { std::filesystem::current_path(previous_); }

private:
  std::filesystem::path previous_;
};

inline std::string read_text(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void write_text(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// What a small crystal changes in the input file.
struct TinyCrystal {
  int form_factor_model = 1;      // 1: electron form factors (no coefficient file needed)
  float cell = 4.0f;              // cubic cell edge, Å
  int max_beams = 4;              // N, kept small so that a whole pattern takes a second
  float thickness = 400.0f;       // Å
  float surface_normal_z = 1.0f;  // the path through the crystal is thickness / this
  std::string folder = ".";       // image folder
  std::string name = "experiment.bmp";
  int image_bits = 8;
  std::string euler = "0 0 0";  // Bunge angles, degrees: the beam along [001]
  int index_limit = 3;          // largest |h|, |k|, |l| searched
};

// "VelmorantDS.dat" for one atom of silicon in a small primitive cubic cell,
// 200 kV, the beam along [001]: the four {100} lines cross the field.
inline std::string tiny_input(const TinyCrystal& c) {
  std::ostringstream s;
  s << "tiny crystal for the tests\n\n\n\ncell basis:\n"
    << c.cell << " 0 0\n0 " << c.cell << " 0\n0 0 " << c.cell << "\n"
    << "\nform factor model:\n"
    << c.form_factor_model << "\n"
    << "\nspecies:\n1\n"
    << "species 1\n\n14\n\n\n1\n\n\n"
    << "0 0 0 1.0 0.08\n"
    << "\n\n\n\n\n0.5\n"         // P .. P+4 skipped, P+5 B
    << "\n\n\n\n\n\n\n\n\n\n\n"  // 11 lines
    << c.index_limit << "\n\n\n0.0001\n\n\n"
    << c.max_beams << "\n"
    << "\n\n"
    << c.thickness << "\n"
    << "\n\n0.025\n"
    << "\n\n\n\n\n\n\n'" << c.folder << "'\n"
    << "\n\n\n\n\n\n"
    << c.name << "\n"
    << "\n\n0.02508\n"
    << "\n\n640.0\n"
    << "\n\n"
    << c.euler << "\n"
    << "\n\n0 0 " << c.surface_normal_z << "\n"
    << "\n\n"
    << c.image_bits << "\n";
  return s.str();
}

}  // namespace velmorant::testing
