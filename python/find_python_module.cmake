# Whether the Python module `tem` can be built: pybind11 (pybind11-dev), the
# Python headers (python3-dev) and NumPy (python3-numpy). Sets TEM_PYTHON_MODULE;
# the module is optional, so a missing piece is printed, never fatal.
# SPDX-License-Identifier: BSD-3-Clause
option(TEM_PYTHON "Build the Python module tem (python/) when pybind11 and Python are found" ON)
set(TEM_PYTHON_MODULE OFF)
if(NOT TEM_PYTHON)
  return()
endif()
if(TEM_SANITIZERS OR TEM_LIBFUZZER)
  # A sanitized shared object cannot be loaded into an unsanitized interpreter.
  message(STATUS "Python module: not built with sanitizers or libFuzzer")
  return()
endif()
# Debian's interpreter carries python3-numpy; another python3 earlier on PATH may not.
if(NOT Python_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python 3.8 COMPONENTS Interpreter Development.Module QUIET)
if(NOT Python_FOUND)
  message(STATUS "Python module: Python 3 with its headers not found (Debian python3-dev); not built")
  return()
endif()
set(PYBIND11_FINDPYTHON ON)
find_package(pybind11 CONFIG QUIET)
if(NOT pybind11_FOUND)
  message(STATUS "Python module: pybind11 not found (Debian pybind11-dev); not built")
  return()
endif()
execute_process(COMMAND ${Python_EXECUTABLE} -c "import numpy" RESULT_VARIABLE tem_numpy_missing
                OUTPUT_QUIET ERROR_QUIET)
if(tem_numpy_missing)
  message(STATUS "Python module: NumPy not found for ${Python_EXECUTABLE} (Debian python3-numpy); not built")
  return()
endif()
execute_process(COMMAND ${Python_EXECUTABLE} -c "import pytest" RESULT_VARIABLE tem_pytest_missing
                OUTPUT_QUIET ERROR_QUIET)
set(TEM_PYTHON_MODULE ON)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
# Position-independent code for the module's static libraries, without the
# cost GCC otherwise pays for it: calls between functions of one library stay
# direct and inlinable (nothing here is meant to be interposed).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-fno-semantic-interposition)
endif()
message(STATUS "Python module tem: built for ${Python_EXECUTABLE} (Python ${Python_VERSION}, pybind11 ${pybind11_VERSION})")
