#!/usr/bin/env bash
# libFuzzer runs of the fuzz harnesses (clang-14, AddressSanitizer and
# UndefinedBehaviorSanitizer, coverage-guided), built into build-fuzz/.
#   scripts/fuzz.sh                      build, then each harness for RUNS inputs (default 20000)
#   scripts/fuzz.sh velmorant_input -max_total_time=3600
#                                        one harness, with its own libFuzzer options
# The corpus of each harness grows in build-fuzz/corpus/<harness>/ (seeded
# from examples/); findings are written as crash-*/leak-*/timeout-* files in
# build-fuzz/. See fuzz/README.md.
# SPDX-License-Identifier: BSD-3-Clause
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
ex="$root/examples"
declare -A seeds=(
  [velmorant_input]="$ex/si-111/VelmorantDS.dat $ex/cu-110/VelmorantDS.dat $ex/gaas-001/VelmorantDS.dat"
  [xray_coefficients]="$root/simulator/data/f0_WaasKirf.dat"
  [experimental_image]="$ex/si-111/experiment.bmp"
  [talvor2_input]="$ex/talvor2/copper.tv2 $ex/talvor2/titanium.tv2 $root/fuzz/seeds/copper_map.tv2"
  [hklconv_list]="$ex/hklconv/list.hkl"
  [hklconv_symmetry]="$ex/hklconv/symmetry.prp"
  [hklconv_basis]="$ex/hklconv/basis.kik"
)
# cif_crystal runs only under the seeded mutator (ctest -L fuzz, GCC):
# Debian's gemmi headers do not compile with clang-14 in C++20 (a std::vector
# of the then incomplete gemmi::cif::Item).
harnesses=(velmorant_input xray_coefficients experimental_image talvor2_input
           hklconv_list hklconv_symmetry hklconv_basis)
if [[ $# -gt 0 ]]; then
  [[ -n "${seeds[$1]:-}" ]] || { echo "unknown harness $1 (one of: ${harnesses[*]})" >&2; exit 2; }
  harnesses=("$1")
  shift
fi
options=("$@")
bash "$root/scripts/install-deps.sh" fuzz
[[ ${#options[@]} -eq 0 ]] && options=(-runs="${RUNS:-20000}")

CXX=${CXX:-clang++-14} cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DTEM_SANITIZERS=address,undefined -DTEM_LIBFUZZER=ON -DTEM_BUILD_TESTS=OFF \
  -DTEM_BUILD_BENCHMARKS=OFF >/dev/null
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_${h}_libfuzzer"); done
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for h in "${harnesses[@]}"; do
  corpus="$build/corpus/$h"
  mkdir -p "$corpus"
  for s in ${seeds[$h]}; do  # seeds keep distinct names: several are VelmorantDS.dat
    cp "$s" "$corpus/seed-$(basename "$(dirname "$s")")-$(basename "$s")"
  done
  echo "== $h"
  (cd "$build" && "$build/bin/fuzz_${h}_libfuzzer" "${options[@]}" "$corpus")
done
