// The parts of the Python module tem: one function per library that adds its classes and functions to the module.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <pybind11/pybind11.h>

namespace tem_python {

void bind_simulator(pybind11::module_& m);    // Velmorant: input, simulation, images, scores
void bind_orientation(pybind11::module_& m);  // Talvor2: indexing patterns of measured vectors
void bind_reflections(pybind11::module_& m);  // hklconv: Miller-index lists reduced to families

// The exception classes of the module (set by module.cpp before the binders run).
struct Exceptions {
  PyObject* input_error = nullptr;         // tem.InputError (ValueError): bad input
  PyObject* file_error = nullptr;          // tem.FileError (OSError): a file that cannot be used
  PyObject* missing_file_error = nullptr;  // tem.MissingFileError (FileNotFoundError): no such file
};
const Exceptions& exceptions();

}  // namespace tem_python
