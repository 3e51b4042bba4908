#!/usr/bin/env bash
# Configures and builds everything into build/ (Release, with tests).
# Extra arguments go to the configure step, e.g. -DTEM_WARNINGS_AS_ERRORS=ON.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$root/build" -j"$(nproc)"
