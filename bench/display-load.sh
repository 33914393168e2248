#!/usr/bin/env bash
# The panel's CPU use under a real X server (Xvfb) while the simulator sends telemetry that
# changes on every frame, so every poll has something new to show. Prints one line per polling
# rate, and under it what any Qt program pays on the same display for waking at that rate
# (bench_display_floor, when built).
# Usage: bench/display-load.sh [seconds] [polling-ms ...]   (defaults: 60 s, 10 and 50 ms)
# BUILD names the build directory (default build), APP another panel executable to measure.
# Needs xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(10 50)
build=${BUILD:-build}
app_binary=${APP:-$build/src/app/tarn-vq4400}
source scripts/xsession.sh
start_xvfb 1280x1024x24
start_sim --sweep-meters

ticks=$(getconf CLK_TCK)

for polling in "${rates[@]}"; do
  start_panel "$app_binary" "$work/p$polling" "$polling" "$work/amp"
  sleep 5
  a0=$(cpu $app); s0=$(cpu $sim)
  sleep "$seconds"
  a=$(cpu $app); s=$(cpu $sim)
  kill $app 2>/dev/null || true
  wait $app 2>/dev/null || true
  awk -v a="$a" -v a0="$a0" -v s="$s" -v s0="$s0" -v t="$ticks" -v span="$seconds" \
    -v p="$polling" 'BEGIN { printf "changing telemetry, Xvfb, Polling %d ms over %d s: panel CPU %.2f %% of a core (simulator %.2f %%)\n", p, span, 100*(a-a0)/t/span, 100*(s-s0)/t/span }'
  # What waking at this rate costs any Qt program on this machine, for comparison.
  floor=$build/bench/bench_display_floor
  if [ -x "$floor" ]; then
    DISPLAY=$display QT_QPA_PLATFORM=xcb QT_XCB_NO_MITSHM=1 "$floor" "$polling" "$seconds" 2>/dev/null |
      sed 's/^/  floor: /'
  fi
done
