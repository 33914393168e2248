#!/usr/bin/env bash
# Runs the panel (offscreen) against the simulator at Polling 10 ms and prints its resident
# memory and CPU use along the way. Usage: bench/memory.sh [seconds] (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${BUILD:-build}
work=$(mktemp -d)
trap 'kill $app $sim 2>/dev/null || true; rm -rf "$work"' EXIT

"$build/tools/amp-sim/tarn-vq4400-sim" --link "$work/amp" --tx-cycle 2000 >/dev/null 2>&1 </dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$work/amp" ] && break; sleep 0.1; done
cp "$build/src/app/tarn-vq4400" "$work/"
printf '[COM]\nPortNumber= 1\n[Polling]\nRate= 10\n[Ports]\nCOM1=%s\n' "$work/amp" >"$work/tarn-vq4400.ini"
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" "$work/tarn-vq4400" 2>/dev/null &
app=$!

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss() { awk '/VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }

sleep 5
start_cpu=$(cpu $app); start_sim=$(cpu $sim)
echo "after    5 s: panel resident memory $(rss $app) MB"
elapsed=5
while [ $elapsed -lt "$seconds" ]; do
  step=$(( seconds - elapsed < 15 ? seconds - elapsed : 15 ))
  sleep $step; elapsed=$((elapsed + step))
  echo "after $(printf %4d $elapsed) s: panel resident memory $(rss $app) MB"
done
span=$((seconds - 5))
awk -v a="$(cpu $app)" -v a0="$start_cpu" -v s="$(cpu $sim)" -v s0="$start_sim" -v t="$ticks" -v span="$span" \
  'BEGIN { printf "CPU over the last %d s at Polling 10 ms: panel %.2f %%, simulator %.2f %% of a core\n", span, 100*(a-a0)/t/span, 100*(s-s0)/t/span }'
