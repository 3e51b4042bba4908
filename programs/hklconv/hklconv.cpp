// hklconv: list.hkl + symmetry.prp + basis.kik -> reflects.kik, in the working directory.
// SPDX-License-Identifier: BSD-3-Clause
#include <cstring>
#include <iostream>

#include "common/version.hpp"
#include "reflections/reflection_list.hpp"

// Arguments are not read, but for the single argument --version.
int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << common::program_version("hklconv") << '\n';
    return 0;
  }
  return hklconv::run(".", std::cin, std::cout);
}
