#!/bin/sh
# Speed of velmorant_fit on 1 and 2 MPI ranks (one thread each) for a grid of 20 voltages, cu-110, method 2.
#
# Usage: bench/velmorant/fit_mpi_bench.sh [build folder]    (default: build)
# Target: 2 ranks on 2 cores at least 1.8 times as fast as 1 rank. Each
# timing is the fastest of ROUNDS runs (default 3); the load average is
# printed beside. The experiment is synthetic (velmorant_make_experiment).
# SPDX-License-Identifier: BSD-3-Clause
set -e
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$(dirname "$0")/../../examples/cu-110/"* "$work/"
cd "$work"
"$build/bin/velmorant_make_experiment" 1330 12 7 2 >/dev/null
fit="$build/bin/velmorant_fit --vary voltage=195:204.5:0.5 --threads 1 --max-evaluations 0 --no-plots"
mpirun=$(command -v mpirun || true)
[ -n "$mpirun" ] || { echo "mpirun not found (Debian openmpi-bin)"; exit 1; }
best() {  # fastest of three runs of "$@", seconds
  b=""
  for round in $(seq "${ROUNDS:-3}"); do
    s=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    e=$(date +%s.%N)
    b=$(echo "$s $e $b" | awk '{t = $2 - $1; if ($3 == "" || t < $3) print t; else print $3}')
  done
  echo "$b"
}
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
one=$(best $mpirun --allow-run-as-root --oversubscribe -np 1 $fit --output one)
two=$(best $mpirun --allow-run-as-root --oversubscribe -np 2 $fit --output two)
echo "20-point voltage grid, cu-110, method 2, 1 thread per rank"
echo "1 rank : $one s"
echo "2 ranks: $two s"
echo "speed-up: $(echo "$one $two" | awk '{printf "%.2f", $1 / $2}') (target >= 1.8)"
grep -v '^#' one/points.csv | cut -d, -f1-10 > a.csv  # without the provenance line
grep -v '^#' two/points.csv | cut -d, -f1-10 > b.csv
cmp -s a.csv b.csv && echo "CSV rows (all but the seconds) identical" || echo "CSV rows DIFFER"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
