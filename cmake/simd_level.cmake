# Instruction-set level of the whole build: TEM_SIMD = native | x86-64-v4 | x86-64-v3 | portable.
#
# The complex matrix products of Velmorant run at the vector width the
# compiler is allowed to use, so the level is chosen at configure time:
#   native     the build machine's own instruction set (default; the binaries
#              may not run on an older processor)
#   x86-64-v4  AVX-512 (F, BW, CD, DQ, VL)
#   x86-64-v3  AVX2, FMA, BMI2 (processors from about 2015 on)
#   portable   the x86-64 baseline (SSE2): runs on any x86-64 processor
# The choice is printed with the vector extensions it enables, and handed to
# the code as TEM_SIMD_LEVEL (a string) for the benchmarks to print.
# -ffp-contract=off (set beside this) keeps the scalar code free of fused
# multiply-adds at every level; only Eigen's own vector kernels use them.
# SPDX-License-Identifier: BSD-3-Clause
set(TEM_SIMD "native" CACHE STRING "Instruction-set level: native, x86-64-v4, x86-64-v3 or portable")
set_property(CACHE TEM_SIMD PROPERTY STRINGS native x86-64-v4 x86-64-v3 portable)

include(CheckCXXCompilerFlag)
set(_tem_simd_flags "")
if(TEM_SIMD STREQUAL "native")
  check_cxx_compiler_flag(-march=native TEM_HAS_MARCH_NATIVE)
  if(TEM_HAS_MARCH_NATIVE)
    set(_tem_simd_flags -march=native)
  else()
    message(WARNING "TEM_SIMD=native: the compiler does not accept -march=native; building at its default level")
  endif()
elseif(TEM_SIMD STREQUAL "x86-64-v4" OR TEM_SIMD STREQUAL "x86-64-v3")
  set(_tem_simd_flags -march=${TEM_SIMD})
elseif(TEM_SIMD STREQUAL "portable")
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    set(_tem_simd_flags -march=x86-64 -mtune=generic)
  endif()
else()
  message(FATAL_ERROR "TEM_SIMD=${TEM_SIMD}: expected native, x86-64-v4, x86-64-v3 or portable")
endif()
add_compile_options(${_tem_simd_flags})
add_compile_definitions(TEM_SIMD_LEVEL="${TEM_SIMD}")

# Which vector extensions the flags switch on, from the compiler's own macros.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${_tem_simd_flags} -dM -E -x c++ /dev/null
                OUTPUT_VARIABLE _tem_simd_macros ERROR_QUIET RESULT_VARIABLE _tem_simd_rc)
set(_tem_simd_features "")
if(_tem_simd_rc EQUAL 0)
  foreach(feature SSE2 AVX AVX2 FMA AVX512F)
    if(_tem_simd_macros MATCHES "#define __${feature}__ ")
      list(APPEND _tem_simd_features ${feature})
    endif()
  endforeach()
endif()
string(REPLACE ";" " " _tem_simd_features "${_tem_simd_features}")
string(REPLACE ";" " " _tem_simd_flag_text "${_tem_simd_flags}")
message(STATUS "SIMD level: ${TEM_SIMD} (flags: ${_tem_simd_flag_text}; vector extensions: ${_tem_simd_features})")

# GCC before 13 warns "may be used uninitialized" inside its own AVX-512
# intrinsics (the deliberately undefined upper halves of _mm512_extract*),
# wherever Eigen's vector kernels inline them. The warning concerns the
# compiler's header, not this code; it is switched off only in that case.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13
   AND _tem_simd_features MATCHES "AVX512F")
  add_compile_options(-Wno-maybe-uninitialized)
endif()
