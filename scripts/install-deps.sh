#!/usr/bin/env bash
# Installs the Debian packages of scripts/debian-packages.txt that are missing (needs root).
#   scripts/install-deps.sh        what the build, the tests and the demos need
#   scripts/install-deps.sh fuzz   also the lines marked "fuzz:" (clang's libFuzzer)
# SPDX-License-Identifier: BSD-3-Clause
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
group=${1:-}
missing=()
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] && continue
  if [[ "$pkg" == *:* ]]; then
    [[ "${pkg%%:*}" == "$group" ]] || continue
    pkg=$(echo "${pkg#*:}" | tr -d ' ')
  fi
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done < "$here/debian-packages.txt"
[[ ${#missing[@]} -eq 0 ]] && exit 0
echo "Installing Debian packages: ${missing[*]}"
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q </dev/null
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
