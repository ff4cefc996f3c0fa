#!/usr/bin/env bash
# Start-up as a user feels it: from the process's start to its "Login" window being shown, under
# Xvfb, for the product beside the minimal Qt program (one main window, one line edit), taken
# in turns in the same run. Builds nothing.
#   bench/startup_under_xvfb.sh <quibbet_demo> <bench_minimal_window> [runs]
# One untimed start of each first (the files' pages in the cache, the product's data files
# made); then `runs` timed starts of each, alternating. Prints the medians and their ratio.
set -euo pipefail
product=$(realpath "$1")
minimal=$(realpath "$2")
runs=${3:-15}
scratch=$(mktemp -d)
cleanup="-r $scratch"
source "$(dirname "$0")/../tests/support/xvfb.sh"
cd "$scratch"

now_us() { echo $(( $(date +%s%N) / 1000 )); }

# Starts the program, waits for a shown "Login" window (looking every 5 ms: xdotool's --sync
# sleeps half a second between looks), prints the microseconds, ends it.
startup_us() {
  local start end window=
  start=$(now_us)
  "$1" >/dev/null 2>&1 &
  app=$!
  for _ in $(seq 2000); do
    window=$(xdotool search --onlyvisible --name '^Login$' 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    kill -0 "$app" 2>/dev/null || break
    sleep 0.005
  done
  end=$(now_us)
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  app=
  if [ -n "$window" ]; then echo $(( end - start )); else echo "no Login window from $1" >&2; fi
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

startup_us "$product" >/dev/null
startup_us "$minimal" >/dev/null
ours=() floor=()
for _ in $(seq "$runs"); do
  # A start that showed no window is left out (and said on stderr).
  us=$(startup_us "$product"); [ -z "$us" ] || ours+=("$us")
  us=$(startup_us "$minimal"); [ -z "$us" ] || floor+=("$us")
done
ours_median=$(printf '%s\n' "${ours[@]}" | median)
floor_median=$(printf '%s\n' "${floor[@]}" | median)
echo "start-up to the Login window shown, median of ${#ours[@]} and ${#floor[@]} starts (ms):"
awk -v o="$ours_median" -v f="$floor_median" 'BEGIN {
  printf "  quibbet_demo          %8.1f\n  minimal Qt window     %8.1f\n  ratio                 %8.2f\n", o / 1000, f / 1000, o / f }'
printf '  every run, ours (ms):    '; printf '%s\n' "${ours[@]}" | awk '{ printf "%.0f ", $1 / 1000 } END { print "" }'
printf '  every run, minimal (ms): '; printf '%s\n' "${floor[@]}" | awk '{ printf "%.0f ", $1 / 1000 } END { print "" }'
