#!/usr/bin/env bash
# Builds the suite at the portable instruction-set level (TEM_SIMD=portable,
# runs on any x86-64) in build-portable/ and runs every test there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build-portable" -DCMAKE_BUILD_TYPE=Release -DTEM_SIMD=portable -DTEM_WARNINGS_AS_ERRORS=ON
cmake --build "$root/build-portable" -j"$(nproc)"
ctest --test-dir "$root/build-portable" --output-on-failure -j"$(nproc)" </dev/null
