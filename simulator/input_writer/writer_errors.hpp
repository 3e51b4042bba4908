// The errors of the input writer: a crystal file that cannot be used, and a microscope setting that cannot be used.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <string>
#include <utility>

#include "common/input_error.hpp"

namespace velmorant::crystal_file {

// A structure file whose contents cannot be used: what() names the file (with
// the line where the CIF parser gives one, and the data block where known)
// and the problem; where() holds the file and the line (0: not known). A file
// that cannot be opened is a common::FileError instead.
class CifError : public common::InputError {
public:
  using common::InputError::InputError;
};

// A setting that cannot be used: a voltage of 0, a zone axis of length 0, a
// reference direction parallel to it, settings that exclude each other. The
// writer speaks of quantities, not of a program's options: parameter() is
// the setting's name as in CifInputOptions ("kv", "wavelength", "zone",
// "reference", "euler", "semi_angle", "camera_length", "pixel_pitch",
// "image_folder", "image_name", "cell"), by which a program names its option.
class SettingsError : public common::InputError {
public:
  SettingsError(std::string parameter, const std::string& problem)
      : common::InputError(problem), parameter_(std::move(parameter)) {}
  const std::string& parameter() const noexcept { return parameter_; }

private:
  std::string parameter_;
};

}  // namespace velmorant::crystal_file
