// FileError in the image library's namespace: the suite's one input/output error, common::FileError.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include "common/file_error.hpp"

namespace velmorant {

// A file of the run that cannot be read or written (see common/file_error.hpp).
// The driver prints what() and ends the run; "VelmorantDS.res" then keeps
// what it held ("  -101" once the computation has started).
using common::FileError;

}  // namespace velmorant
