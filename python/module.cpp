// The Python module tem: the suite's three libraries with NumPy arrays in and out.
#include <pybind11/pybind11.h>

#include "common/input_error.hpp"
#include "python/bindings.hpp"
#include "simulator/input_writer/cif_crystal.hpp"
#include "simulator/image/file_error.hpp"
#include "simulator/input/input_error.hpp"

namespace py = pybind11;

namespace tem_python {

namespace {
Exceptions* the_exceptions = nullptr;
}

const Exceptions& exceptions() { return *the_exceptions; }

}  // namespace tem_python

PYBIND11_MODULE(tem, m) {
  m.doc() =
      "The electron-diffraction suite from Python: Velmorant's convergent-beam patterns, "
      "Talvor2's\n"
      "orientations and hklconv's reflection families, over the programs' own C++ code.\n\n"
      "512 x 512 images are numpy.float32 arrays in picture orientation, as a viewer shows the "
      "image\n"
      "files: row 0 is the top row, column 0 the left column; up is sample +x, left is sample +y.\n"
      "Lengths are in angstrom, angles in degrees unless a name says otherwise.";
  // The suite's version, from project(... VERSION ...) of the top CMakeLists.txt.
  m.attr("__version__") = TEM_SUITE_VERSION;
  static tem_python::Exceptions exceptions;
  // The classes live as long as the interpreter: their references are kept.
  exceptions.input_error =
      py::exception<common::InputError>(m, "InputError", PyExc_ValueError).release().ptr();
  m.attr("InputError").attr("__doc__") =
      "Bad input: the message is the one the programs print (file, line, what was expected).";
  exceptions.file_error =
      py::exception<velmorant::FileError>(m, "FileError", PyExc_OSError).release().ptr();
  m.attr("FileError").attr("__doc__") =
      "A file that cannot be read or written, with the programs' message.";
  tem_python::the_exceptions = &exceptions;

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const common::InputError& e) {
      PyErr_SetString(tem_python::exceptions().input_error, e.what());
    } catch (const velmorant::FileError& e) {
      PyErr_SetString(tem_python::exceptions().file_error, e.what());
    } catch (const velmorant::crystal_file::CifError& e) {
      PyErr_SetString(tem_python::exceptions().input_error, e.what());
    } catch (const velmorant::FormFactorStop& e) {
      PyErr_SetString(tem_python::exceptions().input_error, e.what());
    } catch (const velmorant::SingularBasis&) {
      PyErr_SetString(tem_python::exceptions().input_error,
                      "the cell basis is singular (|det| < 1.1920929e-7); nothing was computed");
    }
  });

  tem_python::bind_simulator(m);
  tem_python::bind_orientation(m);
  tem_python::bind_reflections(m);
}
