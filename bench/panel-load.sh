#!/usr/bin/env bash
# Runs the real panel (offscreen) against the simulator and prints its CPU use and resident
# memory. Usage: bench/panel-load.sh [polling-ms] [seconds]   (defaults: 10 ms, 60 s)
set -euo pipefail
cd "$(dirname "$0")/.."
polling=${1:-10}
seconds=${2:-60}
build=${BUILD:-build}
work=$(mktemp -d)
trap 'kill $app $sim 2>/dev/null || true; rm -rf "$work"' EXIT

"$build/tools/amp-sim/tarn-vq4400-sim" --link "$work/amp" --tx-cycle 2000 >/dev/null 2>&1 </dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$work/amp" ] && break; sleep 0.1; done
cp "$build/src/app/tarn-vq4400" "$work/"
printf '[COM]\nPortNumber= 1\n[Polling]\nRate= %d\n[Ports]\nCOM1=%s\n' "$polling" "$work/amp" \
  >"$work/tarn-vq4400.ini"
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" "$work/tarn-vq4400" 2>/dev/null &
app=$!

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss() { awk '/VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }

sleep 5
start_cpu=$(cpu $app); start_sim=$(cpu $sim); start_rss=$(rss $app)
sleep "$seconds"
awk -v a="$(cpu $app)" -v a0="$start_cpu" -v s="$(cpu $sim)" -v s0="$start_sim" -v t="$ticks" \
  -v span="$seconds" -v p="$polling" -v r0="$start_rss" -v r="$(rss $app)" \
  'BEGIN { printf "panel at Polling %d ms over %d s: CPU %.2f %% of a core (simulator %.2f %%), resident memory %.1f MB (%.1f MB after 5 s)\n", p, span, 100*(a-a0)/t/span, 100*(s-s0)/t/span, r, r0 }'
