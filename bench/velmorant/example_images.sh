#!/usr/bin/env bash
# Runs Velmorant on every example with methods 0, 1 and 2 and keeps each image and result file.
#
# Usage: example_images.sh <folder of the Velmorant binary> <output folder>
# Writes <output>/<example>-m<method>.bmp and .res (and the beam list of each
# example, <example>-beams.txt); compare two output folders with
# compare_images.sh.
# SPDX-License-Identifier: BSD-3-Clause
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
for example in si-111 cu-110 gaas-001; do
  work=$(mktemp -d)
  cp "$root/examples/$example"/* "$work/"
  # cu-110 and gaas-001 ship no experimental image: si-111's stands in, so
  # that the run writes its pattern (their r then only compares two builds).
  [ -f "$work/experiment.bmp" ] || cp "$root/examples/si-111/experiment.bmp" "$work/"
  for method in 0 1 2; do
    (cd "$work" && VELMORANT_PRESENTATION=silent VELMORANT_DIAGNOSTICS=1 "$bin/Velmorant" $method \
       </dev/null >/dev/null 2>"$out/$example-beams.txt" || true)
    cp "$work/DS_experiment.bmp" "$out/$example-m$method.bmp"
    cp "$work/VelmorantDS.res" "$out/$example-m$method.res"
  done
  rm -rf "$work"
done
