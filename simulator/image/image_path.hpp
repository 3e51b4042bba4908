// Paths of the experimental and the simulated image, built from the input.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <string>
#include <string_view>

#include "simulator/input/simulation_input.hpp"

namespace velmorant {

inline constexpr const char* kSimulatedImagePrefix = "DS_";

// image_name that asks for a simulation without an experimental image (an
// empty name does the same). The pattern is then written as
// kPatternOnlyName, a BMP of image_bits bits per pixel, in image_directory.
inline constexpr const char* kNoExperiment = "-";
inline constexpr const char* kPatternOnlyName = "DS_pattern.bmp";

// `directory` + "/" + `name`, each without its trailing blanks. Backslashes
// in `directory` are taken as folder separators, so an input file written on
// Windows with a relative folder ("images\si") still works. An empty (or
// all-blank) directory means the working directory: the result is `name`.
std::string join_image_path(std::string_view directory, std::string_view name);

// Whether image_name names an experimental image (neither empty nor "-").
bool has_experimental_image(const SimulationInput& in);

// image_directory / image_name: the experimental image.
std::string experimental_image_path(const SimulationInput& in);

// image_directory / "DS_" image_name: the simulated image; image_directory /
// kPatternOnlyName without an experimental image.
std::string simulated_image_path(const SimulationInput& in);

}  // namespace velmorant
