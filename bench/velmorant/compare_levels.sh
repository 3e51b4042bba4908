#!/usr/bin/env bash
# Method-0 pixel times of the default build against the portable build (x86-64 baseline), side by side.
#
# Usage: bench/velmorant/compare_levels.sh [rounds]   (default 3)
# Builds velmorant_bench in build/ (the default level) and in build-portable/
# (TEM_SIMD=portable), then runs `velmorant_bench --method0 --quick` of the
# two builds in turn, `rounds` times each, and keeps the best figure of each
# (other work on the machine only ever slows a run down). Prints both
# attainable rates and, per beam count, both times per pixel and their ratio.
# SPDX-License-Identifier: BSD-3-Clause
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
rounds=${1:-3}
default="$root/build"
portable="$root/build-portable"
jobs=$(nproc)
[ -f "$default/CMakeCache.txt" ] || cmake -S "$root" -B "$default" -DCMAKE_BUILD_TYPE=Release >/dev/null
[ -f "$portable/CMakeCache.txt" ] || cmake -S "$root" -B "$portable" -DCMAKE_BUILD_TYPE=Release -DTEM_SIMD=portable >/dev/null
cmake --build "$default" -j"$jobs" --target velmorant_bench >/dev/null
cmake --build "$portable" -j"$jobs" --target velmorant_bench >/dev/null
out=$(mktemp -d)
for ((r = 1; r <= rounds; ++r)); do
  for level in default portable; do
    dir=$default
    [ $level = portable ] && dir=$portable
    "$dir/bin/velmorant_bench" --method0 --quick >"$out/$level.$r"
  done
done
echo "load average before and after: $(awk '/load average/ {print $NF; exit}' "$out/default.1") / $(cut -d' ' -f1 /proc/loadavg)"
for level in default portable; do
  grep -h "^build level" "$out/$level.1"
done
# Best (largest) attainable rate and best (smallest) times of every round.
awk '
  FNR == 1 { level = (FILENAME ~ /portable/) ? "portable" : "default" }
  /^attainable/ { for (i = 1; i <= NF; ++i) if ($i == "=") { v = $(i + 1); if (v > att[level]) att[level] = v } }
  /^[0-9]+ / && NF >= 12 {
    n = $1; key = level SUBSEP n; ns[n] = 1
    if (!(key in one) || $2 < one[key]) one[key] = $2
    if (!(key in all) || $8 < all[key]) all[key] = $8
    if (!(key in outside) || $5 + 0 < outside[key]) outside[key] = $5 + 0
    if (!(key in eff) || $10 > eff[key]) eff[key] = $10
  }
  END {
    printf "attainable complex-product rate (Gflop/s, all cores): default %.2f, portable %.2f, ratio %.2f\n",
           att["default"], att["portable"], att["default"] / att["portable"]
    printf "%-5s %12s %12s %8s %12s %12s %8s %10s %10s %9s\n", "N", "default 1thr", "portable 1thr", "ratio",
           "default all", "portable all", "ratio", "outside%", "eff Gf/s", "eff/attn"
    for (n in ns) {
      d = "default" SUBSEP n; p = "portable" SUBSEP n
      printf "%-5d %12.4f %12.4f %8.2f %12.4f %12.4f %8.2f %9.1f%% %10.2f %8.0f%%\n", n, one[d], one[p],
             one[p] / one[d], all[d], all[p], all[p] / all[d], outside[d], eff[d], 100 * eff[d] / att["default"]
    }
  }' "$out"/default.* "$out"/portable.* | { IFS= read -r first; echo "$first"; IFS= read -r header; echo "$header"; sort -n; }
rm -rf "$out"
