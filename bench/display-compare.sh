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
#        ACCESSIBLE=1: the cost of a screen reader. AFTER runs with Qt's accessibility bridge on,
#        in a private D-Bus session where a listener has registered for every object event, as
#        a screen reader does; BEFORE runs without a session bus, so its bridge stays off. Give
#        the same executable twice. Needs dbus and python3-pyatspi as well.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 2 ] || { sed -n 's/^# Usage: //p' "$0"; exit 2; }
before=$(realpath "$1") after=$(realpath "$2")
rounds=${3:-6} seconds=${4:-20}
shift $(($# < 4 ? $# : 4))
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(10 50)
build=${BUILD:-build}
if [ "${ACCESSIBLE:-}" = 1 ] && [ -z "${TARN_BENCH_BUS:-}" ]; then
  exec env TARN_BENCH_BUS=1 dbus-run-session -- "$0" "$before" "$after" "$rounds" "$seconds" \
    "${rates[@]}"
fi
source scripts/xsession.sh
start_xvfb 1280x1024x24
if [ "${ACCESSIBLE:-}" = 1 ]; then
  # Events reach a listener only when one asked for them; this one asks for all and counts them.
  /usr/bin/python3 -c '
import pyatspi, signal, sys
seen = [0]
def on(event): seen[0] += 1
signal.signal(signal.SIGTERM, lambda *a: (print("%d object events heard" % seen[0]), sys.exit()))
pyatspi.Registry.registerEventListener(on, "object")
pyatspi.Registry.start()' &
  pids+=($!)
fi
for side in before after; do
  mkdir -p "$work/$side"
  sim_link="$work/$side/amp" start_sim --sweep-meters
done

ticks=$(getconf CLK_TCK)
median() { sort -g | awk '{v[NR] = $1} END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

declare -A panel=() used=()
for polling in "${rates[@]}"; do
  for round in $(seq "$rounds"); do
    for side in before after; do
      panel_env=()
      if [ "${ACCESSIBLE:-}" = 1 ]; then
        [ $side = after ] && panel_env=(QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1) ||
          panel_env=(-u DBUS_SESSION_BUS_ADDRESS)
      fi
      start_panel "${!side}" "$work/$side/p$polling-$round" "$polling" "$work/$side/amp"
      panel[$side]=$app
    done
    sleep 4
    for side in before after; do used[$side]=$(cpu "${panel[$side]}"); done
    sleep "$seconds"
    for side in before after; do
      awk -v v=$(($(cpu "${panel[$side]}") - used[$side])) -v t="$ticks" -v s="$seconds" \
        'BEGIN {print 100 * v / t / s}' >>"$work/$side.$polling"
    done
    kill "${panel[@]}" 2>/dev/null || true
    wait "${panel[@]}" 2>/dev/null || true
  done
  for side in before after; do
    f="$work/$side.$polling"
    printf 'Polling %d ms, %s: median %.2f %% of a core over %d rounds of %d s (%s)\n' "$polling" \
      "$side" "$(median <"$f")" "$rounds" "$seconds" \
      "$(sort -g "$f" | awk '{printf "%s%.2f", (NR > 1 ? " " : ""), $1}')"
  done
done
