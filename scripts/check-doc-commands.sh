#!/usr/bin/env bash
# Runs every shell block of README.md and docs/*.md as written, and fails
# naming the file and line of a block that fails.
#   scripts/check-doc-commands.sh              README.md and docs/*.md
#   scripts/check-doc-commands.sh docs/x.md    the pages named
# Convention (docs/development.md, "Commands in the documentation"):
#   ```bash          runs: in a fresh folder per page (build/doc-check/<page>/),
#                    each block in a new `bash -e -o pipefail` started there,
#                    the blocks of a page in order (files persist, `cd` does not),
#                    with build/bin on PATH and TEM_ROOT the repository,
#                    standard input empty, no X display;
#   ```bash no-run   shown, not run (installing, rebuilding, MPI over machines,
#                    the test command, minute-long runs);
#   ```text, ```python, ...  not shell, not run.
# Other shell fences (```sh, ```shell, ```console), indented fences and
# indented code blocks are refused, so that no command escapes the check.
# Needs a finished build in build/ (BUILD=... names another). A block may run
# for DOC_BLOCK_TIMEOUT seconds (default 300). The repository's files must be
# the same after the run as before (git status), so blocks write only into
# their own folder.
# SPDX-License-Identifier: BSD-3-Clause
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${BUILD:-$root/build}" 2>/dev/null && pwd) || { echo "no build folder ${BUILD:-$root/build}: build first (bash scripts/build.sh)" >&2; exit 2; }
[[ -x $build/bin/Velmorant ]] || { echo "$build/bin has no programs: build first (bash scripts/build.sh)" >&2; exit 2; }
timeout_s=${DOC_BLOCK_TIMEOUT:-300}
cd "$root"
if [[ $# -gt 0 ]]; then pages=("$@"); else pages=(README.md docs/*.md); fi

# The blocks of one page: a line "<kind> <first line> <last line>" per fenced
# block (kind run, skip or other), and "bad <line> <why>" per refused block.
blocks_of() {
  awk '
    function bad(why) { printf "bad %d %s\n", NR, why }
    !inside && /^[ \t]+```[^`]*$/ { bad("indented fence: write fences at the start of the line"); next }
    !inside && /^```/ {
      info = substr($0, 4); sub(/[ \t]+$/, "", info)
      kind = "other"
      if (info == "bash") kind = "run"
      else if (info == "bash no-run") kind = "skip"
      else if (info ~ /^(sh|shell|console|zsh|bash)( |$)/) bad("fence \"```" info "\": use ```bash (runs) or ```bash no-run")
      inside = 1; start = NR; next
    }
    inside && /^```[ \t]*$/ { printf "%s %d %d\n", kind, start + 1, NR - 1; inside = 0; next }
    inside { next }
    # An indented code block: four spaces after a blank line, outside a list.
    /^    [^ ]/ && previous_blank && !in_list { bad("indented code block: fence it as ```bash, ```bash no-run or ```text") }
    /^[ \t]*$/ { previous_blank = 1; next }
    { previous_blank = 0; in_list = ($0 ~ /^([-*+]|[0-9]+\.) / || ($0 ~ /^  / && in_list)) }
    END { if (inside) printf "bad %d unclosed fence\n", start }
  ' "$1"
}

before=$(git -C "$root" status --porcelain 2>/dev/null)
failed=0
for page in "${pages[@]}"; do
  [[ -f $page ]] || { echo "$page: no such file"; failed=1; continue; }
  scratch="$build/doc-check/$(basename "$page" .md)"
  rm -rf "$scratch" && mkdir -p "$scratch/.blocks"
  ran=0 skipped=0 start_s=$SECONDS
  while read -r kind first last; do
    case $kind in
      bad) echo "$page:$first: $last"; failed=1; continue ;;
      skip) skipped=$((skipped + 1)); continue ;;
      other) continue ;;
    esac
    script="$scratch/.blocks/line-$first.sh"
    log="$scratch/.blocks/line-$first.log"
    sed -n "${first},${last}p" "$page" >"$script"
    ran=$((ran + 1))
    block_start=$SECONDS
    if ! (cd "$scratch" && env -u DISPLAY PATH="$build/bin:$PATH" TEM_ROOT="$root" \
            timeout "$timeout_s" bash -e -o pipefail "$script") </dev/null >"$log" 2>&1; then
      echo "$page:$((first - 1)): this block failed (output in $log):"
      sed 's/^/    | /' "$script"
      echo "    output (last 20 lines):"
      tail -n 20 "$log" | sed 's/^/    > /'
      failed=1
      break  # the page's later blocks build on this one
    fi
    (( SECONDS - block_start < 30 )) || echo "$page:$((first - 1)): this block took $((SECONDS - block_start)) s"
  done < <(blocks_of "$page")
  echo "$page: $ran block(s) run, $skipped not run ($((SECONDS - start_s)) s)"
done
after=$(git -C "$root" status --porcelain 2>/dev/null)
if [[ "$before" != "$after" ]]; then
  echo "the documented commands changed the repository (git status before and after differ):"
  diff <(echo "$before") <(echo "$after") | sed 's/^/    /'
  failed=1
fi
[[ $failed -eq 0 ]] && echo "every documented command ran" || echo "documented commands failed (see above)"
exit $failed
