// Talvor2: crystal orientations from patterns of measured scattering vectors.
// SPDX-License-Identifier: BSD-3-Clause
#include <iostream>
#include <string>
#include <vector>

#include "programs/Talvor2/talvor2_run.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  talvor::RunEnvironment env{std::cin, std::cout, ".", talvor::ProcessCpuSeconds};
  return talvor::RunTalvor2(args, env);
}
