#!/usr/bin/env bash
# Configures build/ (Release, warnings are errors) and builds everything, or the targets named:
#   scripts/build.sh                      everything: programs, tests, benchmarks, Python module
#   scripts/build.sh Velmorant Talvor2    those and what they need; a target this configuration
#                                         lacks (its optional Debian package is missing) is left out
# scripts/demo.sh and scripts/test.sh both build through here with this one configuration, so
# neither recompiles what the other compiled. CMAKE_CXX_COMPILER_LAUNCHER=ccache in the
# environment is taken up when build/ is first configured. TEM_WARNINGS_AS_ERRORS=OFF in the
# environment lets a compiler newer than Debian's, with warnings of its own, build the suite.
# SPDX-License-Identifier: BSD-3-Clause
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DTEM_WARNINGS_AS_ERRORS="${TEM_WARNINGS_AS_ERRORS:-ON}" >/dev/null
targets=()
if [[ $# -gt 0 ]]; then
  # Makefiles list targets as "... name", Ninja as "name: phony".
  known=$(cmake --build "$build" --target help | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p; s/^\([^ :]*\): .*/\1/p')
  for t in "$@"; do
    if grep -qx -- "$t" <<<"$known"; then
      targets+=("$t")
    else
      echo "build.sh: $t is not built in this configuration (see CMake's notes on missing packages)" >&2
    fi
  done
  [[ ${#targets[@]} -gt 0 ]] || exit 0
  cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
else
  cmake --build "$build" -j"$(nproc)"
fi
