#!/usr/bin/env bash
# From the first status frame in operate with its SWR over the limit to force standby on the
# line, for the first keying (the hold plus at most a poll period) and for the amplifier put
# back into operate into the same load (no new hold), on the simulator's own clock.
#   bench/alarm-delay.sh [runs] [hold-ms] [polling-ms]     (default 5, 1000, 50)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
runs=${1:-5}
hold=${2:-1000}
polling=${3:-50}
source scripts/xsession.sh

# one_run: prints "first second" in ms.
one_run() {
  local dir="$work/run" log="$work/sim.log"
  rm -rf "$dir" && mkdir -p "$dir"
  mkfifo "$work/ctl"
  "$build/tools/amp-sim/tarn-vq4400-sim" --link "$work/amp" --log >/dev/null 2>"$log" \
    <"$work/ctl" &
  local simpid=$!
  exec 4>"$work/ctl"
  pids+=($simpid)
  for _ in $(seq 100); do [ -e "$work/amp" ] && break; sleep 0.05; done
  cp "$build/src/app/tarn-vq4400" "$dir/"
  printf '[COM]\nPortNumber= 1\n[Polling]\nRate= %d\n[Ports]\nCOM1=%s\n[Alarms]\nSWR_Limit=1.0\nHold_ms=%d\nAuto_STBY=Yes\n' \
    "$polling" "$work/amp" "$hold" >"$dir/tarn-vq4400.ini"
  QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$dir/config" "$dir/tarn-vq4400" 2>/dev/null &
  local app=$!
  pids+=($app)
  sleep 1
  printf 'tx on\noperate\n' >&4
  sleep "$(awk -v h="$hold" 'BEGIN { print h / 1000 + 1.5 }')"
  echo operate >&4
  sleep 1
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  exec 4>&-
  kill "$simpid" 2>/dev/null || true
  wait "$simpid" 2>/dev/null || true
  rm -f "$work/amp" "$work/ctl"
  # Operate is bit 6 of the flags (first field after FB), the SWR x10 the fourth byte. Answers
  # to polls already out when force standby came still show operate: they wait for a frame
  # in standby.
  awk '
    function hex(s) { return (index("0123456789ABCDEF", substr(s, 1, 1)) - 1) * 16 + \
                             index("0123456789ABCDEF", substr(s, 2, 1)) - 1 }
    $2 == "RX" && $3 " " $4 " " $5 " " $6 " " $7 == "FB 03 02 05 FE" {
      if (first != "") { printf "%d ", $1 - first; first = "" }
      standby = 0; next
    }
    $2 == "TX" && $3 == "FB" {
      operate = substr($4, 1, 1) ~ /[4567CDEF]/
      if (!operate) standby = 1
      if (operate && standby && hex($7) > 10 && first == "") first = $1
    }
    BEGIN { standby = 1; first = "" }
    END { print "" }' "$log"
}

printf '%-8s %6s %6s %12s %12s\n' polling hold runs 'first med/max' 'again med/max'
results=()
for _ in $(seq "$runs"); do results+=("$(one_run)"); done
summary() { sort -n | awk '{ t[NR] = $1 } END { printf "%6d/%-5d", t[int((NR + 1) / 2)], t[NR] }'; }
printf '%-8s %6s %6d %s %s\n' "$polling" "$hold" "$runs" \
  "$(printf '%s\n' "${results[@]}" | cut -d' ' -f1 | summary)" \
  "$(printf '%s\n' "${results[@]}" | cut -d' ' -f2 | summary)"
