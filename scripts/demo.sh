#!/usr/bin/env bash
# Installs what is missing, builds, and runs the programs on the bundled examples.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
bin="$root/build/bin"
work="$root/build/demo"
rm -rf "$work" && mkdir -p "$work"

echo
echo "== hklconv: silicon reflections reduced by the cubic rotations"
mkdir -p "$work/hklconv"
cp "$root"/examples/hklconv/{list.hkl,symmetry.prp,basis.kik} "$work/hklconv/"
(cd "$work/hklconv" && "$bin/hklconv" </dev/null)
cat "$work/hklconv/reflects.kik"
echo "Result written to $work/hklconv/reflects.kik"

echo
echo "== Velmorant: silicon near [111], run-time estimates, then the block method (2)"
si="$work/si-111"
mkdir -p "$si"
cp "$root"/examples/si-111/{VelmorantDS.dat,experiment.bmp} "$si/"
(cd "$si" && "$bin/Velmorant" </dev/null)
read -r e0 e1 e2 <"$si/VelmorantDS.res"
echo "Estimated run times (s): method 0 $e0, method 1 $e1, method 2 $e2"
(cd "$si" && "$bin/Velmorant" 2 </dev/null)
read -r r <"$si/VelmorantDS.res"
echo "Correlation with the experimental image (synthetic, see examples/si-111/README.md): r = $r"
echo "Simulated pattern written to $si/DS_experiment.bmp (experimental: $si/experiment.bmp)"

echo
echo "== Talvor2: orientations of 36 generated copper patterns (strategy 3)"
tv="$work/talvor2"
mkdir -p "$tv"
cp "$root"/examples/talvor2/copper.tv2 "$tv/"
(cd "$tv" && "$bin/Talvor2" copper.tv2 </dev/null | tail -n 4)
head -n 14 "$tv/copper_tv2.res"
echo "Results written to $tv/copper_tv2.res (true orientations: examples/talvor2/copper_truth.txt)"
