// Replacing a file of the run as a whole (common::write_file_whole), a failure thrown as FileError.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstddef>
#include <filesystem>
#include <system_error>
#include <string>

#include "common/atomic_file.hpp"
#include "simulator/image/file_error.hpp"

namespace velmorant {

// common::write_file_whole; on failure throws FileError with the message
// "cannot write <what> "<path>": <reason>". `what` names the kind of file for
// the message ("the simulated image", "the result file").
inline void write_file_whole(const std::string& path, const void* bytes, std::size_t size,
                             const std::string& what) {
  if (const auto reason = common::write_file_whole(path, bytes, size)) {
    // A folder that does not exist is a missing file to Python (FileNotFoundError).
    std::error_code ec;
    const auto folder = std::filesystem::path(path).parent_path();
    const bool missing = !folder.empty() && !std::filesystem::is_directory(folder, ec);
    throw FileError(common::write_failure_message(what, path, *reason), path,
                    missing ? FileError::Kind::not_found : FileError::Kind::other);
  }
}

}  // namespace velmorant
