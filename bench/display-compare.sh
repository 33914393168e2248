#!/usr/bin/env bash
# Two panel executables side by side on one Xvfb, each polling its own simulator that changes
# every value in every frame (--sweep-meters): the before and after of a change, measured in the
# same seconds. On a machine whose load drifts (a shared virtual machine), runs taken in turns
# differ by a third between themselves, far more than most changes; measured together, both
# builds see the same drift. Figures are a little lower than display-load.sh's, which runs the
# panel alone on an otherwise idle machine, where every wake-up costs more.
# Usage: bench/display-compare.sh BEFORE AFTER [rounds] [seconds] [polling-ms ...]
#        (defaults: 6 rounds of 20 s, Polling 10 and 50 ms). BUILD names the build directory
#        whose simulator is used (default build). Needs xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 2 ] || { sed -n 's/^# Usage: //p' "$0"; exit 2; }
before=$(realpath "$1") after=$(realpath "$2")
rounds=${3:-6} seconds=${4:-20}
shift $(($# < 4 ? $# : 4))
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(10 50)
build=${BUILD:-build}
source scripts/xsession.sh
start_xvfb 1280x1024x24
for side in before after; do
  mkdir -p "$work/$side"
  sim_link="$work/$side/amp" start_sim --sweep-meters
done

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
median() { sort -g | awk '{v[NR] = $1} END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

for polling in "${rates[@]}"; do
  : >"$work/before.$polling" >"$work/after.$polling"
  for round in $(seq "$rounds"); do
    declare -A app=()
    for side in before after; do
      dir="$work/$side/p$polling-$round"
      mkdir -p "$dir"
      cp "${!side}" "$dir/tarn-vq4400"
      printf '[COM]\nPortNumber= 1\n[Polling]\nRate= %d\n[Ports]\nCOM1=%s\n' "$polling" \
        "$work/$side/amp" >"$dir/tarn-vq4400.ini"
      DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$dir/config" "$dir/tarn-vq4400" \
        2>/dev/null &
      app[$side]=$!
      pids+=($!)
    done
    sleep 4
    b0=$(cpu "${app[before]}") a0=$(cpu "${app[after]}")
    sleep "$seconds"
    b=$(cpu "${app[before]}") a=$(cpu "${app[after]}")
    kill "${app[before]}" "${app[after]}" 2>/dev/null || true
    wait "${app[before]}" "${app[after]}" 2>/dev/null || true
    awk -v v=$((b - b0)) -v t="$ticks" -v s="$seconds" 'BEGIN {print 100 * v / t / s}' >>"$work/before.$polling"
    awk -v v=$((a - a0)) -v t="$ticks" -v s="$seconds" 'BEGIN {print 100 * v / t / s}' >>"$work/after.$polling"
  done
  for side in before after; do
    f="$work/$side.$polling"
    printf 'Polling %d ms, %s: median %.2f %% of a core over %d rounds of %d s (%s)\n' "$polling" \
      "$side" "$(median <"$f")" "$rounds" "$seconds" "$(sort -g "$f" | awk '{printf "%s%.2f", (NR > 1 ? " " : ""), $1}')"
  done
done
