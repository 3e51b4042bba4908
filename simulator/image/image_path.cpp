// Joining the image folder and file names into paths.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/image_path.hpp"

#include <algorithm>

namespace velmorant {

namespace {

std::string_view without_trailing_blanks(std::string_view s) {
  std::size_t end = s.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

}  // namespace

std::string join_image_path(std::string_view directory, std::string_view name) {
  std::string dir(without_trailing_blanks(directory));
  std::replace(dir.begin(), dir.end(), '\\', '/');
  std::string path;
  if (!dir.empty()) path = dir + "/";
  path += without_trailing_blanks(name);
  return path;
}

bool has_experimental_image(const SimulationInput& in) {
  const std::string_view name = without_trailing_blanks(in.image_name);
  return !name.empty() && name != kNoExperiment;
}

std::string experimental_image_path(const SimulationInput& in) {
  return join_image_path(in.image_directory, in.image_name);
}

std::string simulated_image_path(const SimulationInput& in) {
  if (!has_experimental_image(in)) return join_image_path(in.image_directory, kPatternOnlyName);
  return join_image_path(
      in.image_directory,
      kSimulatedImagePrefix + std::string(without_trailing_blanks(in.image_name)));
}

}  // namespace velmorant
