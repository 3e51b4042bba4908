#!/usr/bin/env bash
# The progress window in a real X server (Xvfb): a run is suspended, continued, suspended and
# ended with Exit, or closed by the window manager while running; the result file must hold
# "  -101" and no image may be written.
#
#   window_test.sh SCENARIO PROBE SETUP PROGRAM [ARGUMENTS...]
#     SCENARIO  suspend | close
#     PROBE     velmorant_window_probe (reads the window's control states, sends the close)
#     SETUP     folder whose files are copied into the fresh working folder, or "-"
#     PROGRAM   the program and its arguments, started in the working folder
#   WINDOW_TEST_SCREENSHOT=file.png   keeps a screenshot of the running window
#
# Exit status 77 (skipped) when Xvfb or xdotool is missing or the program was not built.
# SPDX-License-Identifier: BSD-3-Clause
set -uo pipefail

scenario=$1 probe=$2 setup=$3
shift 3
program=("$@")

skip() { echo "SKIPPED: $*"; exit 77; }
fail() {
  echo "FAILED ($scenario): $*"
  [[ -n "${workdir:-}" && -f "$workdir/program.log" ]] && { echo "--- program output:"; cat "$workdir/program.log"; }
  exit 1
}
command -v Xvfb >/dev/null || skip "Xvfb not installed (Debian package xvfb)"
command -v xdotool >/dev/null || skip "xdotool not installed (Debian package xdotool)"
[[ -x "$probe" ]] || skip "$probe not built (no FLTK/Xlib)"
[[ -x "${program[0]}" ]] || skip "${program[0]} not built"

workdir=$(mktemp -d)
xvfb_pid= run_pid=
cleanup() {
  [[ -n "$run_pid" ]] && kill "$run_pid" 2>/dev/null
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$workdir"
}
trap cleanup EXIT

# A private X server; it tells its display number when it is ready.
# -noreset: by default the server resets when its last client leaves, and a
# connection made during that reset fails (xdotool polls while the program starts).
Xvfb -displayfd 3 -noreset -screen 0 640x480x24 -nolisten tcp 3>"$workdir/display" >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s "$workdir/display" ]] && break; sleep 0.1; done
[[ -s "$workdir/display" ]] || skip "Xvfb did not start: $(cat "$workdir/xvfb.log")"
export DISPLAY=":$(head -1 "$workdir/display")"

if [[ "$setup" != "-" ]]; then cp -r "$setup"/. "$workdir/" || fail "cannot copy $setup"; fi
# The run must outlast the test (about 15 s) even on every core of a fast
# machine: a simulation input gets the heavier input kept beside this script
# (the same crystal with 40 beams instead of 21).
heavier="$(dirname "${BASH_SOURCE[0]}")/window_test_VelmorantDS.dat"
if [[ -f "$workdir/VelmorantDS.dat" && -f "$heavier" ]]; then
  cp "$heavier" "$workdir/VelmorantDS.dat" || fail "cannot copy $heavier"
fi
printf ' 0.25\n' > "$workdir/VelmorantDS.res"   # an earlier run's result
find "$workdir" -name 'DS_*' -delete
cd "$workdir" || fail "no working folder"
VELMORANT_PRESENTATION=window "${program[@]}" </dev/null >program.log 2>&1 &
run_pid=$!

# Button centres in window pixels: the dialog template's button rectangles
# (x 69/127/185, y 25, 50 x 18 dialog units) at 6/4 and 13/8 pixel per unit.
start_xy=(141 55) suspend_xy=(228 55) exit_xy=(315 55)

window=
for _ in $(seq 300); do
  window=$(xdotool search --name '^Velmorant - pattern simulation$' 2>/dev/null | head -1)
  [[ -n "$window" ]] && break
  kill -0 "$run_pid" 2>/dev/null || fail "the program ended before its window appeared"
  sleep 0.1
done
[[ -n "$window" ]] || fail "no window captioned \"Velmorant - pattern simulation\""

state() { "$probe" "$window" state 2>/dev/null; }
line() { state | grep "^$1 " ; }  # one control's line: "id enabled text"
# Waits (up to $2 tenths of a second) until the state contains line $1.
wait_for() {
  for _ in $(seq "${2:-100}"); do
    state | grep -qxF -- "$1" && return 0
    kill -0 "$run_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
expect_line() { state | grep -qxF -- "$1" || fail "expected \"$1\"; the window shows:
$(state)"; }

# Before the run starts every button is disabled; the run enables Suspend.
first=$(state)
if [[ -n "$first" ]] && ! grep -qxF "30003 1 Sus&pend" <<<"$first"; then
  for b in "30002 0 &Start" "30003 0 Sus&pend" "30001 0 E&xit"; do
    grep -qxF -- "$b" <<<"$first" || fail "before the run, expected \"$b\"; shown:
$first"
  done
  echo "before the run: all three buttons disabled"
else
  echo "the run had started when the window was first seen"
fi
wait_for "30003 1 Sus&pend" 600 || fail "Suspend never became usable"
expect_line "30002 0 &Start"
expect_line "30001 0 E&xit"
[[ "$(cat VelmorantDS.res)" == "  -101" ]] || fail "result file during the run: '$(cat VelmorantDS.res)'"

# Let the time line come up, then keep a picture of the running window.
for _ in $(seq 50); do line 1007 | grep -q 'Time to complete' && break; sleep 0.1; done
if [[ -n "${WINDOW_TEST_SCREENSHOT:-}" ]] && command -v import >/dev/null; then
  import -window "$window" "$WINDOW_TEST_SCREENSHOT" || fail "screenshot failed"
fi

case "$scenario" in
  suspend)
    # The bar or the time line moves while running (a note only if not seen
    # soon: a long run's first estimate may hold for a while).
    moving=$(state | grep -E '^(1006|1007) ')
    for _ in $(seq 100); do
      [[ "$(state | grep -E '^(1006|1007) ')" != "$moving" ]] && { echo "the display moves while running"; break; }
      sleep 0.1
    done
    click "${suspend_xy[@]}"
    wait_for "30002 1 &Continue" 50 || fail "Suspend did not relabel Start as Continue"
    expect_line "30001 1 E&xit"
    expect_line "30003 0 Sus&pend"
    wait_for "focus 30002" 20 || fail "the focus did not move to Continue"
    before=$(state); sleep 1.5; after=$(state)
    [[ "$before" == "$after" ]] || fail "the window changed while suspended:
$before
---
$after"
    kill -0 "$run_pid" 2>/dev/null || fail "the program ended while suspended"
    click "${start_xy[@]}"
    wait_for "30003 1 Sus&pend" 50 || fail "Continue did not resume the run"
    expect_line "30002 0 &Continue"
    expect_line "30001 0 E&xit"
    click "${exit_xy[@]}"                      # disabled while running: nothing happens
    sleep 0.3
    kill -0 "$run_pid" 2>/dev/null || fail "a click on the disabled Exit ended the run"
    click "${suspend_xy[@]}"
    wait_for "30001 1 E&xit" 50 || fail "the second Suspend did not enable Exit"
    click "${exit_xy[@]}"
    ;;
  close)
    "$probe" "$window" close || fail "cannot send the close request"
    ;;
  *) fail "unknown scenario" ;;
esac

for _ in $(seq 100); do kill -0 "$run_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$run_pid" 2>/dev/null && fail "the program did not end"
wait "$run_pid"; status=$?
run_pid=
# The exit status of a user exit is the program's own choice; a signal is a crash.
[[ $status -lt 128 ]] || fail "the program died (status $status)"
[[ "$(cat VelmorantDS.res)" == "  -101" ]] || fail "result file after the end: '$(cat VelmorantDS.res)'"
images=$(find . -name 'DS_*')
[[ -z "$images" ]] || fail "an image was written: $images"
echo "passed ($scenario): window found, controls as expected, run ended (status $status) with \"  -101\" and no image"
