#!/usr/bin/env bash
# Builds and prints every performance figure of the panel on this machine, in one run
# (about five minutes with ser2net installed).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
echo "== $(date -u +%Y-%m-%d) on $(nproc) cores, $(uname -sr)"
build/bench/bench_protocol
build/bench/bench_ui 2>/dev/null
build/bench/bench_startup 2>/dev/null
build/bench/bench_core
build/bench/bench_settings
build/bench/bench_telemetry 20 2>/dev/null
bench/panel-load.sh 50 30
bench/panel-load.sh 10 30
if command -v ser2net >/dev/null || [ -x /usr/sbin/ser2net ]; then
  build/bench/bench_remote 20 2>/dev/null
  bench/remote-panel-load.sh 50 30
fi
# The same with every frame different, under a real X server, when Xvfb is installed.
if command -v Xvfb >/dev/null; then bench/display-load.sh 30; fi
bench/line-stress.sh 30 300
bench/alarm-delay.sh 5 1000 50
bench/alarm-delay.sh 5 1000 10
