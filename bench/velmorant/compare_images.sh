#!/usr/bin/env bash
# Compares two folders written by example_images.sh: per image the number of
# differing grey levels and the largest difference, and both result lines.
#
# Usage: compare_images.sh <folder a> <folder b>
# SPDX-License-Identifier: BSD-3-Clause
set -euo pipefail
for a in "$1"/*.bmp; do
  name=$(basename "$a")
  b="$2/$name"
  # cmp -l prints offset and the two differing bytes in octal.
  stats=$(cmp -l "$a" "$b" | awk 'function oct(s,  v, i) { v = 0; for (i = 1; i <= length(s); ++i) v = 8 * v + substr(s, i, 1); return v }
          {d = oct($2) - oct($3); if (d < 0) d = -d; n++; if (d > m) m = d}
          END {printf "%d pixels differ, largest %d grey levels", n, m}' || true)
  printf '%-18s %s   r: %s | %s\n' "$name" "$stats" "$(cat "${a%.bmp}.res")" "$(cat "${b%.bmp}.res")"
done
for a in "$1"/*-beams.txt; do
  if cmp -s "$a" "$2/$(basename "$a")"; then echo "$(basename "$a"): identical"; else echo "$(basename "$a"): DIFFERS"; fi
done
