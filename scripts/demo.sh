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
