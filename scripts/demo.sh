#!/usr/bin/env bash
# The suite on its bundled examples in about a minute: installs what is missing, builds the
# programs the demo runs (the configuration of scripts/test.sh), then goes from a crystal
# file to a fitted thickness, draws every beam's disc and an orientation map. Everything is
# written under build/demo/; the last lines say where each picture and result is.
# SPDX-License-Identifier: BSD-3-Clause
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" Velmorant velmorant_input velmorant_fit Talvor2 talvor2_patterns hklconv
bin="$root/build/bin"
ex="$root/examples"
work="$root/build/demo"
rm -rf "$work" && mkdir -p "$work"
results=()  # "file|what it is", printed at the end
note() { results+=("$1|$2"); }
have() { [[ -x "$bin/$1" ]] || { echo "($1 is not built: its optional Debian packages are missing; skipped)"; return 1; }; }

si="$work/si-111"
mkdir -p "$si"
cp "$ex/si-111/experiment.bmp" "$si/"
if have velmorant_input; then
  echo
  echo "== velmorant_input: silicon from examples/crystals/si.cif, 0.42 deg off [111], 200 kV, 1500 A"
  (cd "$si" && "$bin/velmorant_input" "$ex/crystals/si.cif" --kv 200 --euler 0 54.40 45.30 \
     --image-name experiment.bmp --thickness 1500 --semi-angle 10 --index-limit 10 --strength-fraction 0.0001)
  note "$si/VelmorantDS.dat" "Velmorant's input, written from the CIF"
else
  cp "$ex/si-111/VelmorantDS.dat" "$si/"
fi

echo
echo "== Velmorant: run-time estimates, then the pattern by the block method (2)"
(cd "$si" && "$bin/Velmorant" </dev/null >/dev/null)
read -r e0 e1 e2 <"$si/VelmorantDS.res"
echo "Estimated run times (s): method 0 (every pixel) $e0, method 1 $e1, method 2 $e2"
(cd "$si" && "$bin/Velmorant" 2 </dev/null)
read -r r <"$si/VelmorantDS.res"
echo "Correlation with the experimental image: r = $r"
note "$si/DS_experiment.bmp" "the simulated pattern, 1500 A (r = $r against experiment.bmp)"
note "$si/experiment.bmp" "the experiment (synthetic: 1700 A with noise, see examples/si-111/README.md)"

if have velmorant_fit; then
  echo
  echo "== velmorant_fit: the thickness that explains the experiment (grid 1400..2000 A, then refined)"
  (cd "$si" && "$bin/velmorant_fit" --vary thickness=1400:2000:100 </dev/null)
  fit="$si/velmorant_fit"
  best=$(awk '$1 == "thickness" { print $3 }' "$fit/best.txt")
  note "$fit/best.txt" "the fitted thickness, $best A, and its scores"
  [[ -f $fit/comparison.png ]] && note "$fit/comparison.png" "experiment, best simulation and their difference"
  [[ -f $fit/score.png ]] && note "$fit/score.png" "the score against the thickness"
  note "$fit/points.csv" "every evaluated thickness and its scores"
  input_dir="$fit"
else
  input_dir="$si"
fi

echo
echo "== Velmorant with VELMORANT_BEAMS=1: every beam's disc, the whole pattern (method 1)"
beams="$work/every-beam"
mkdir -p "$beams"
cp "$input_dir/VelmorantDS.dat" "$input_dir/experiment.bmp" "$beams/"
if (cd "$beams" && VELMORANT_BEAMS=1 VELMORANT_BEAMS_APERTURE=6 "$bin/Velmorant" 1 </dev/null); then
  echo "$(($(wc -l <"$beams/DS_experiment_beams.csv") - 1)) discs (the transmitted beam and N diffracted ones)"
  note "$beams/DS_experiment_pattern.png" "the whole pattern: every beam's disc at its place"
  note "$beams/DS_experiment_beams.csv" "each disc's h k l and place; DS_experiment_beams.tif holds one page per beam"
else
  echo "(no every-beam files: this build lacks libtiff or libpng)"
fi

echo
echo "== Talvor2: orientations of 36 generated copper patterns (strategy 3)"
tv="$work/talvor2"
mkdir -p "$tv"
cp "$ex/talvor2/copper.tv2" "$tv/"
(cd "$tv" && "$bin/Talvor2" copper.tv2 </dev/null | tail -n 2)
sed -n 7,16p "$tv/copper_tv2.res"
echo "  ... true orientation of pattern 1 (phi1 Phi phi2): $(awk '$1 == 1 { print $4, $5, $6 }' "$ex/talvor2/copper_truth.txt")"
note "$tv/copper_tv2.res" "the orientation of each pattern (true ones: examples/talvor2/copper_truth.txt)"

echo
echo "== Talvor2 --map: a generated titanium map, 120 x 80 points, six grains"
map="$work/map"
mkdir -p "$map"
(cd "$map" && "$bin/talvor2_patterns" map titanium titanium 120 80 3 2 5 4 0.1 0.3)
(cd "$map" && "$bin/Talvor2" --map titanium.tv2 </dev/null | tail -n 4)
# Each point against its grain's true Bunge angles (titanium_truth.txt: grains, then points).
awk '
  FNR == NR { if ($1 == "#" && $2 ~ /^[0-9]+$/) { p1[$2] = $3; P[$2] = $4; p2[$2] = $5 }
              else if ($1 ~ /^[0-9]+$/) grain[$1] = $4
              next }
  FNR > 1 { n++; g = grain[$1]
            if ($10 == 1) solved++
            d1 = angle($4 - p1[g]); d2 = angle($5 - P[g]); d3 = angle($6 - p2[g])
            if ($10 == 1 && d1 < 2 && d2 < 2 && d3 < 2) right++ }
  function angle(d) { d = d < 0 ? -d : d; return d > 180 ? 360 - d : d }
  END { printf "%d of %d points solved, %d within 2 degrees (each Bunge angle) of their grain'"'"'s true orientation\n", solved, n, right }
' "$map/titanium_truth.txt" FS=, "$map/titanium_tv2.csv"
[[ -f $map/titanium_tv2.png ]] && note "$map/titanium_tv2.png" "the orientation map (inverse pole figure colours)"
note "$map/titanium_tv2.csv" "the map as a table: position, Bunge angles, fit (true grains: titanium_truth.txt)"

echo
echo "== hklconv: silicon reflections reduced by the cubic rotations"
hk="$work/hklconv"
mkdir -p "$hk"
cp "$ex"/hklconv/{list.hkl,symmetry.prp,basis.kik} "$hk/"
(cd "$hk" && "$bin/hklconv" </dev/null)
cat "$hk/reflects.kik"
note "$hk/reflects.kik" "the symmetry-distinct families of reflecting planes"

echo
echo "== Pictures and results (under $work/)"
for entry in "${results[@]}"; do
  file=${entry%%|*}
  printf '  %-38s %s\n' "${file#"$work"/}" "${entry#*|}"
done
