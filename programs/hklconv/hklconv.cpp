// hklconv: list.hkl + symmetry.prp + basis.kik -> reflects.kik, in the working directory.
#include <iostream>

#include "reflections/reflection_list.hpp"

int main() { return hklconv::run(".", std::cin, std::cout); }
