#!/usr/bin/env bash
# Times every way out of the real panel against the simulator at Polling 50 ms: from the
# signal (or the display's end) to the process's end, with what reached the line and the exit
# status. Prints one row per way: runs, force standby seen on the line, polls after it, exit
# statuses seen, median and maximum time in ms.
#   bench/exit-times.sh [runs]        (default 20; needs Xvfb)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
runs=${1:-20}
source scripts/xsession.sh

ms() { date +%s%3N; }

# one_exit WAY[:FAULT]: starts a panel, waits until it polls, puts the simulator into FAULT
# (silence, stall: an amplifier that will not confirm), ends the panel that way; prints
# "standby pollsAfter status ms".
one_exit() {
  local way=${1%%:*} fault=${1#*:} dir="$work/run" log="$work/sim.log"
  rm -rf "$dir"
  : >"$log"
  start_xvfb 1024x768x24
  local xvfb=${pids[-1]}
  mkfifo "$work/ctl"
  "$build/tools/amp-sim/tarn-vq4400-sim" --link "$work/amp" --drift 600000 --log \
    >/dev/null 2>"$log" <"$work/ctl" &
  exec 4>"$work/ctl"
  local simpid=$!
  pids+=($simpid)
  for _ in $(seq 100); do [ -e "$work/amp" ] && break; sleep 0.05; done
  start_panel "$build/src/app/tarn-vq4400" "$dir" 50 "$work/amp"
  for _ in $(seq 200); do
    [ "$(grep -c 'RX FB 0C 0C FE' "$log" || true)" -ge 5 ] && break
    sleep 0.05
  done
  if [ "$fault" != "$1" ]; then
    echo "$fault on" >&4
    sleep 0.3
  fi
  local t0
  t0=$(ms)
  case $way in
  display) kill -KILL "$xvfb" ;;
  *) kill -"$way" "$app" ;;
  esac
  local status=0
  wait "$app" 2>/dev/null || status=$?
  local t1
  t1=$(ms)
  sleep 0.3
  local standby after
  standby=$(grep -c 'RX FB 03 02 05 FE' "$log" || true)
  after=$(sed -n '/RX FB 03 02 05 FE/,$p' "$log" | grep -c 'RX FB 0C 0C FE' || true)
  exec 4>&-
  kill "$simpid" "$xvfb" 2>/dev/null || true
  wait "$simpid" "$xvfb" 2>/dev/null || true
  rm -f "$work/amp" "$work/display" "$work/ctl"
  echo "$standby $after $status $((t1 - t0))"
}

printf '%-12s %5s %8s %11s %-10s %7s %5s\n' way runs standby polls-after statuses median max
for way in TERM INT HUP display KILL SEGV TERM:silence TERM:stall; do
  results=()
  for _ in $(seq "$runs"); do results+=("$(one_exit "$way")"); done
  printf '%s\n' "${results[@]}" | sort -n -k4 | awk -v way="$way" '
    { standby += ($1 > 0); after += $2; st[$3]++; t[NR] = $4 }
    END {
      n = NR; median = (n % 2) ? t[(n + 1) / 2] : (t[n / 2] + t[n / 2 + 1]) / 2
      s = ""; for (k in st) s = s (s ? "," : "") k "x" st[k]
      printf "%-12s %5d %8d %11.1f %-10s %7d %5d\n", way, n, standby, after / n, s, median, t[n]
    }'
done
