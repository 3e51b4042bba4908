#!/usr/bin/env bash
# Installs what is missing, builds everything (the demo's configuration, warnings are errors),
# and runs every test.
# SPDX-License-Identifier: BSD-3-Clause
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
ctest --test-dir "$root/build" --output-on-failure -j"$(nproc)" </dev/null
