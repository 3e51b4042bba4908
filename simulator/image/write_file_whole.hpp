// Replacing a file as a whole: a crash never leaves it half written.
#pragma once

#include <cstddef>
#include <string>

#include "image/file_error.hpp"

namespace velmorant {

// Writes `size` bytes to a temporary file in the folder of `path` and then
// renames it to `path`, which atomically replaces any earlier file of that
// name. On failure the temporary file is removed, `path` is left as it was,
// and FileError is thrown with a message "cannot write <what> "<path>":
// <reason>". `what` names the kind of file for the message ("the simulated
// image", "the result file").
void write_file_whole(const std::string& path, const void* bytes, std::size_t size,
                      const std::string& what);

}  // namespace velmorant
