#!/usr/bin/env bash
# Installs what is missing, builds, and starts the panel against the simulated amplifier.
#
# The panel runs from demo/, with its own tarn-vq4400.ini there mapping COM1 to the
# simulator's pseudo-terminal (demo/amp). The simulator's traffic log goes to demo/sim.log.
# Pass --real to start the panel from build/ without the simulator instead, or --drift for a
# simulator whose SWR and temperature creep up until the protection trips (alarms, history).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh

if [ "${1:-}" = "--real" ]; then
  exec build/src/app/tarn-vq4400
fi

demo="$PWD/demo"
mkdir -p "$demo"
cp build/src/app/tarn-vq4400 "$demo/"
[ -f build/src/app/guide.html ] && cp build/src/app/guide.html "$demo/"

mode=(--tx-cycle 3000)
if [ "${1:-}" = "--drift" ]; then
  mode=(--drift 60000)
fi
build/tools/amp-sim/tarn-vq4400-sim --link "$demo/amp" "${mode[@]}" --log \
  >"$demo/sim.out" 2>"$demo/sim.log" </dev/null &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$demo/amp" ] && break; sleep 0.1; done

if [ ! -f "$demo/tarn-vq4400.ini" ]; then
  cat >"$demo/tarn-vq4400.ini" <<INI
[COM]
PortNumber= 1

[Ports]
COM1=$demo/amp
INI
fi

echo "Simulator on $(head -n1 "$demo/sim.out"), traffic in demo/sim.log"
"$demo/tarn-vq4400"
