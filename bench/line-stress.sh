#!/usr/bin/env bash
# The real panel (offscreen) against the simulator under the line's worst faults, with figures
# read from the simulator's traffic log:
#  - a stall: the simulator stops reading for STALL seconds at Polling 10 ms (over TCP, where the
#    system itself would take megabytes of polls); prints the polls that reached it in the
#    first second after it read again;
#  - a slow line: 9600 baud at Polling 10 ms for SLOW seconds; prints how long each answer waits
#    before the panel asks again (the panel asks only once it has the answer, so this bounds the
#    age of what it shows), over the run's last minute;
#  - a flood: the simulator sends without pause for 10 s at Polling 1000 ms; prints the panel's
#    peak resident memory and whether it polls on afterwards.
# Usage: bench/line-stress.sh [STALL seconds] [SLOW seconds]   (defaults: 30, 300)
set -euo pipefail
cd "$(dirname "$0")/.."
stall=${1:-30}
slow=${2:-300}
build=${BUILD:-build}
export QT_QPA_PLATFORM=offscreen

work="" app="" sim=""
cleanup() {
  exec 3>&- 2>/dev/null || true
  kill $app $sim 2>/dev/null || true
  wait $app $sim 2>/dev/null || true
  [ -z "$work" ] || rm -rf "$work"
  work="" app="" sim=""
}
trap cleanup EXIT

# start_pair POLLING SIM-ARGS...: the simulator with a control pipe on fd 3, then the panel.
start_pair() {
  local polling=$1
  shift
  work=$(mktemp -d)
  mkfifo "$work/ctl"
  "$build/tools/amp-sim/tarn-vq4400-sim" --log "$@" <"$work/ctl" >"$work/sim.out" \
    2>"$work/sim.log" &
  sim=$!
  exec 3>"$work/ctl"
  local endpoint=""
  for _ in $(seq 100); do
    endpoint=$(sed -n 's/^PTY //p;s/^TCP /tcp:\/\//p' "$work/sim.out")
    [ -n "$endpoint" ] && break
    sleep 0.05
  done
  cp "$build/src/app/tarn-vq4400" "$work/"
  printf '[COM]\nPortNumber= 1\n[Polling]\nRate= %d\n[Ports]\nCOM1=%s\n' "$polling" "$endpoint" \
    >"$work/tarn-vq4400.ini"
  XDG_CONFIG_HOME="$work/config" "$work/tarn-vq4400" 2>/dev/null &
  app=$!
  sleep 3
}

ms_now() { awk '{printf "%d", $1 * 1000}' /proc/uptime; }

echo "== stall of $stall s at Polling 10 ms over TCP"
start_pair 10 --tcp 0
echo "stall $((stall * 1000))" >&3
sleep $((stall + 2))
# The polls that waited in the line arrive in one burst as soon as the simulator reads again;
# fresh ones follow at the polling rate.
awk '/stall over/ {t = $1; on = 1; next}
     on && / RX FB 0C 0C FE/ && $1 - t <= 50 {burst++}
     on && / RX FB 0C 0C FE/ && $1 - t <= 1000 {second++}
     END {printf "polls reaching the amplifier once it read again: %d at once (the stale ones), %d in the first second\n", burst, second}' \
  "$work/sim.log"
cleanup

echo "== $slow s at 9600 baud, Polling 10 ms"
start_pair 10 --baud 9600
sleep "$slow"
awk -v from="$(( $(awk 'END {print int($1)}' "$work/sim.log") - 60000 ))" '
     $1 < from {next}
     / TX / && pending == 0 {tx = $1; pending = 1; next}
     / RX FB 0C 0C FE/ && pending {d = $1 - tx; sum += d; n++; if (d > max) max = d; pending = 0}
     END {if (n) printf "answer to next poll over the last minute: mean %.1f ms, max %.1f ms (%d answers)\n", sum / n, max, n}' \
  "$work/sim.log"
cleanup

echo "== flood for 10 s at Polling 1000 ms"
start_pair 1000
echo "flood on" >&3
peak=0
for _ in $(seq 40); do
  rss=$(awk '/VmRSS/ {print int($2 / 1024)}' "/proc/$app/status")
  [ "$rss" -gt "$peak" ] && peak=$rss
  sleep 0.25
done
echo "flood off" >&3
before=$(grep -c 'RX FB 0C 0C FE' "$work/sim.log" || true)
sleep 3
after=$(grep -c 'RX FB 0C 0C FE' "$work/sim.log" || true)
echo "peak resident memory during the flood: $peak MB; polls in the 3 s after it: $((after - before))"
cleanup
