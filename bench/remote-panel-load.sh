#!/usr/bin/env bash
# Runs the real panel (offscreen) against the simulator through the real ser2net, in raw TCP,
# RFC 2217 and RFC 2217 inside TLS, and prints for each: the polls per second that reach the
# amplifier and the answers it sends (from the simulator's log), and the CPU of the panel and
# of ser2net. Usage: bench/remote-panel-load.sh [polling-ms] [seconds]  (defaults: 50 ms, 30 s)
set -euo pipefail
cd "$(dirname "$0")/.."
polling=${1:-50}
seconds=${2:-30}
build=${BUILD:-build}
ser2net=$(command -v ser2net || echo /usr/sbin/ser2net)
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
count() { grep -c "$1" "$2" || true; }

work="" app="" sim="" server=""
cleanup() {
  kill $app $server $sim 2>/dev/null || true
  wait $app $server $sim 2>/dev/null || true
  [ -z "$work" ] || rm -rf "$work"
  work="" app="" sim="" server=""
}
trap cleanup EXIT

run_mode() {
  local name=$1 port accepter address
  work=$(mktemp -d)
  "$build/tools/amp-sim/tarn-vq4400-sim" --link "$work/amp" --tx-cycle 2000 --log \
    >/dev/null 2>"$work/sim.log" </dev/null &
  sim=$!
  for _ in $(seq 50); do [ -e "$work/amp" ] && break; sleep 0.1; done
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -subj /CN=amp-ser2net -keyout "$work/amp.key" -out "$work/amp.crt" 2>/dev/null
  chmod 600 "$work/amp.key"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  case $name in
    raw) accepter="tcp,127.0.0.1,$port"; address="tcp://127.0.0.1:$port" ;;
    rfc2217) accepter="telnet(rfc2217),tcp,127.0.0.1,$port"; address="rfc2217://127.0.0.1:$port" ;;
    tls) accepter="telnet(rfc2217),ssl(key=$work/amp.key,cert=$work/amp.crt),tcp,127.0.0.1,$port"
         address="rfc2217+tls://127.0.0.1:$port?ca=$work/amp.crt" ;;
  esac
  printf '%%YAML 1.1\n---\nconnection: &amp\n    accepter: %s\n    enable: on\n    connector: serialdev,%s,9600n81,local\n' \
    "$accepter" "$(readlink -f "$work/amp")" >"$work/ser2net.yaml"
  "$ser2net" -n -d -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >/dev/null 2>&1 &
  server=$!
  cp "$build/src/app/tarn-vq4400" "$work/"
  printf '[COM]\nPortNumber= 1\n[Polling]\nRate= %d\n[Ports]\nCOM1=%s\n' "$polling" "$address" \
    >"$work/tarn-vq4400.ini"
  QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" "$work/tarn-vq4400" 2>/dev/null &
  app=$!
  sleep 5
  local a0 s0 rx0 tx0 a1 s1 rx1 tx1
  a0=$(cpu $app); s0=$(cpu $server); rx0=$(count ' RX FB 0C 0C FE' "$work/sim.log"); tx0=$(count ' TX FB' "$work/sim.log")
  sleep "$seconds"
  a1=$(cpu $app); s1=$(cpu $server); rx1=$(count ' RX FB 0C 0C FE' "$work/sim.log"); tx1=$(count ' TX FB' "$work/sim.log")
  awk -v n="$name" -v p="$polling" -v span="$seconds" -v t="$ticks" -v a="$a1" -v a0="$a0" \
    -v s="$s1" -v s0="$s0" -v rx="$rx1" -v rx0="$rx0" -v tx="$tx1" -v tx0="$tx0" \
    'BEGIN { printf "%-8s Polling %d ms: polls at the amplifier %.1f/s, answers %.1f/s; CPU: panel %.2f %%, ser2net %.2f %% of a core\n", n, p, (rx-rx0)/span, (tx-tx0)/span, 100*(a-a0)/t/span, 100*(s-s0)/t/span }'
  cleanup
}

for mode in raw rfc2217 tls; do run_mode $mode; done
