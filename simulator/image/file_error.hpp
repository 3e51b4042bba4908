// FileError: a file of the run that cannot be read or written.
#pragma once

#include <stdexcept>

namespace velmorant {

// Thrown for a fatal input/output failure on an image or result file: a
// missing or short experimental image, a simulated image that cannot be
// created (for example because its folder does not exist), a result file
// that cannot be replaced. what() is one line that names the file and the
// problem. The driver prints it and ends the run; "VelmorantDS.res" then
// keeps what it held ("  -101" once the computation has started).
class FileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

}  // namespace velmorant
