// The Python module tem: the suite's three libraries with NumPy arrays in and out.
// SPDX-License-Identifier: BSD-3-Clause
#include <pybind11/eval.h>
#include <pybind11/pybind11.h>

#include <string>

#include "common/file_error.hpp"
#include "common/input_error.hpp"
#include "python/bindings.hpp"
#include "simulator/input/input_error.hpp"

namespace py = pybind11;

namespace tem_python {

namespace {
Exceptions* the_exceptions = nullptr;

// The exception classes, defined in Python so that they carry `filename` and
// `lineno` (None where unknown) and print the message alone.
constexpr const char* kExceptionClasses = R"(
class InputError(ValueError):
    """Bad input: what was found and what was expected; filename and lineno name the place (None: not known)."""

    def __init__(self, message, filename=None, lineno=None):
        super().__init__(message)
        self.filename = filename
        self.lineno = lineno


class FileError(OSError):
    """A file that cannot be opened, read or written; filename names it (None: no one file)."""

    def __init__(self, message, filename=None, lineno=None):
        super().__init__(message)
        self.filename = filename
        self.lineno = lineno

    def __str__(self):
        return str(self.args[0]) if self.args else ""


class MissingFileError(FileError, FileNotFoundError):
    """A file or folder that does not exist (a FileNotFoundError)."""
)";

// The message without the console's framing: every line trimmed, empty lines
// and an "Error: " banner at the start of a line left out.
std::string plain_message(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first != std::string::npos) {
      line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
      if (line.rfind("Error: ", 0) == 0) line.erase(0, 7);
      if (!out.empty()) out += '\n';
      out += line;
    }
    start = end + 1;
  }
  return out;
}

// Sets the Python error: an instance of `type` with the message and the place.
void raise(PyObject* type, const std::string& text, const std::string& file, int line) {
  const py::object cls = py::reinterpret_borrow<py::object>(type);
  const py::object error =
      cls(plain_message(text), file.empty() ? py::object(py::none()) : py::str(file),
          line > 0 ? py::object(py::int_(line)) : py::object(py::none()));
  PyErr_SetObject(type, error.ptr());
}

}  // namespace

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
      "Lengths are in angstrom, angles in degrees unless a name says otherwise.\n\n"
      "Errors: tem.InputError (a ValueError) for bad input, tem.FileError (an OSError) for a file "
      "that cannot be used, tem.MissingFileError (also a FileNotFoundError) for one that does not "
      "exist; each has filename and lineno (None where unknown) and the message alone as its text.";
  // The suite's version, from project(... VERSION ...) of the top CMakeLists.txt.
  m.attr("__version__") = TEM_SUITE_VERSION;
  static tem_python::Exceptions exceptions;
  // The classes live as long as the interpreter: their references are kept.
  py::dict scope;
  scope["__name__"] = "tem";
  py::exec(tem_python::kExceptionClasses, scope);
  for (const char* name : {"InputError", "FileError", "MissingFileError"})
    m.attr(name) = scope[name];
  exceptions.input_error = scope["InputError"].ptr();
  exceptions.file_error = scope["FileError"].ptr();
  exceptions.missing_file_error = scope["MissingFileError"].ptr();
  Py_INCREF(exceptions.input_error);
  Py_INCREF(exceptions.file_error);
  Py_INCREF(exceptions.missing_file_error);
  tem_python::the_exceptions = &exceptions;

  py::register_exception_translator([](std::exception_ptr p) {
    const tem_python::Exceptions& x = tem_python::exceptions();
    try {
      if (p) std::rethrow_exception(p);
    } catch (const common::InputError& e) {  // every reader's and tool's input errors
      tem_python::raise(x.input_error, e.what(), e.where().file, e.where().line);
    } catch (const common::FileError& e) {
      tem_python::raise(e.not_found() ? x.missing_file_error : x.file_error, e.what(), e.file(), 0);
    } catch (const velmorant::FormFactorStop& e) {
      tem_python::raise(x.input_error, e.what(), "", 0);
    } catch (const velmorant::SingularBasis& e) {
      tem_python::raise(x.input_error, e.what(), "", 0);
    }
  });

  tem_python::bind_simulator(m);
  tem_python::bind_orientation(m);
  tem_python::bind_reflections(m);
}
