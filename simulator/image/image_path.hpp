// Paths of the experimental and the simulated image, built from the input.
#pragma once

#include <string>
#include <string_view>

#include "input/simulation_input.hpp"

namespace velmorant {

inline constexpr const char* kSimulatedImagePrefix = "DS_";

// `directory` + "/" + `name`, each without its trailing blanks. Backslashes
// in `directory` are taken as folder separators, so an input file written on
// Windows with a relative folder ("images\si") still works. An empty (or
// all-blank) directory means the working directory: the result is `name`.
std::string join_image_path(std::string_view directory, std::string_view name);

// image_directory / image_name: the experimental BMP image.
std::string experimental_image_path(const SimulationInput& in);

// image_directory / "DS_" image_name: the simulated BMP image.
std::string simulated_image_path(const SimulationInput& in);

}  // namespace velmorant
