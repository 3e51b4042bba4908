// The ways reading the simulation input can end the program (the input file,
// the X-ray coefficient file, the form-factor checks). The driver
// (simulator/app/) catches all three kinds; none of them happens after the
// result file has been touched, because read_simulation_input runs before the
// driver writes "VelmorantDS.res".
//
//  - InputError: a fatal input failure (premature end, a value of the wrong
//    type, a count or value the record cannot take). A file that cannot be
//    opened is a common::FileError (common/file_error.hpp) instead. what() is
//    one line naming the file, the line number and what was expected there.
//    The driver prints it (standard error) and ends; the result file stays as
//    it was.
//  - SingularBasis: |det cell_basis| < 2^-23 (the singular-basis stop of the
//    derivations). what() is the one text every program and the Python
//    module show for it; the driver ends without touching the result file
//    and, so that a user learns why nothing was computed, prints it on
//    standard error after the input file's name.
//  - FormFactorStop: a failed form-factor check (atomic number below 2,
//    negative displacement, negative G or voltage, Ei of an argument > 60).
//    what() is the exact one-line stop message (for example
//    "  Z =   1 THIS VALUE IS NOT SUPPLIED!"); the program writes it to
//    standard output as a line and stops, before the result file is touched.
//    It can in principle be thrown by structure_factor at any time, but for
//    the inputs that reach the engine the first evaluation (and so the stop)
//    happens inside select_beams, i.e. inside read_simulation_input.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

#include "common/input_error.hpp"

namespace velmorant {

// what() is the message as composed by the reader (file, line, what was
// expected); the position is part of that text.
class InputError : public common::InputError {
public:
  using common::InputError::InputError;
};

// Deliberately not derived from std::runtime_error, so that a handler for
// runtime errors cannot swallow it by accident.
class SingularBasis : public std::exception {
public:
  const char* what() const noexcept override {
    return "the cell basis is singular (|det| < 1.1920929e-7); nothing was computed";
  }
};

class FormFactorStop : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

}  // namespace velmorant
