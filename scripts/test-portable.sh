#!/usr/bin/env bash
# Builds the suite at the portable instruction-set level (TEM_SIMD=portable,
# runs on any x86-64) in build-portable/ and runs the tests there (all but the
# minute-long fits, see below).
# SPDX-License-Identifier: BSD-3-Clause
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build-portable" -DCMAKE_BUILD_TYPE=Release -DTEM_SIMD=portable -DTEM_WARNINGS_AS_ERRORS=ON
cmake --build "$root/build-portable" -j"$(nproc)"
# The three minute-long fits that recover known parameters and the two-rank
# fit exercise the same engine as the program and engine tests run here; they
# run in the default build (scripts/test.sh), which keeps CI within its time.
ctest --test-dir "$root/build-portable" --output-on-failure -j"$(nproc)" \
      -E 'RecoversKnownParameters|^Mpi\.' </dev/null
