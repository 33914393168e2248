# Sourced by the scripts that run the real panel under a private X server: a work folder that
# goes away with everything started into `pids`, Xvfb on a display it picks itself, and the
# simulator on a pseudo-terminal linked as $work/amp.
work=$(mktemp -d)
pids=()
panel_env=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# start_xvfb SIZE: sets `display` (":N").
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$work/display" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  display=":$(cat "$work/display")"
}

# start_sim ARGS...: sets `sim` to its process id. Its line is $work/amp, or $sim_link when set.
start_sim() {
  local link=${sim_link:-$work/amp}
  "$build/tools/amp-sim/tarn-vq4400-sim" --link "$link" "$@" >/dev/null 2>&1 </dev/null &
  sim=$!
  pids+=($sim)
  for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.1; done
}

# start_panel BINARY DIR POLLING-MS LINE: a copy of the panel in DIR with its INI beside it,
# polling LINE on the private display; sets `app` to its process id. `panel_env` (an array)
# holds arguments for env(1) that change the panel's environment.
start_panel() {
  mkdir -p "$2"
  cp "$1" "$2/tarn-vq4400"
  printf '[COM]\nPortNumber= 1\n[Polling]\nRate= %d\n[Ports]\nCOM1=%s\n' "$3" "$4" \
    >"$2/tarn-vq4400.ini"
  env "${panel_env[@]}" DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$2/config" \
    "$2/tarn-vq4400" 2>/dev/null &
  app=$!
  pids+=($app)
}

# cpu PID: the CPU time the process has used so far, in clock ticks.
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
