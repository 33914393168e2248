#!/usr/bin/env bash
# Retakes the README's pictures of the panel: the real windows under Xvfb with openbox, against
# the simulator keyed for power, in Liberation Sans. Usage: scripts/screenshots.sh
# BUILD names the build directory (default build). Needs xvfb, openbox, xdotool, x11-apps
# (xwd) and netpbm.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
out=docs
source scripts/xsession.sh
start_xvfb 1024x768x24
export DISPLAY=$display QT_QPA_PLATFORM=xcb
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done

start_sim --tx
cp "$build/src/app/tarn-vq4400" "$work/"
printf '[COM]\nPortNumber= 1\n[Form]\nTop_Location= 1500\nLeft_Location= 1500\n[Ports]\nCOM1=%s\n' \
  "$work/amp" >"$work/tarn-vq4400.ini"
XDG_CONFIG_HOME="$work/config" "$work/tarn-vq4400" >/dev/null 2>&1 &
pids+=($!)

window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1; }
until_shown() { for _ in $(seq 200); do [ -n "$(window "$1")" ] && return 0; sleep 0.1; done; return 1; }
main='^  TARN VQ4400 Remote$'
until_shown "$main"
# Operate, so that the display shows power, band and gain.
sleep 2
xdotool windowactivate --sync "$(window "$main")"
# The OPER/STBY key's middle (3487, 2002 twips), below the menu bar.
xdotool mousemove --window "$(window "$main")" 232 155 click 1
xdotool mousemove 1000 700
view() { # View menu, item $1 (separators not counted)
  xdotool windowactivate --sync "$(window "$main")"
  xdotool key --clearmodifiers alt
  local keys=(Right Right Right Right Down)
  for _ in $(seq "$1"); do keys+=(Down); done
  xdotool key --delay 80 "${keys[@]}" Return
  sleep 1.5
}
shot() { xwd -silent -id "$1" | xwdtopnm 2>/dev/null | pnmtopng >"$out/$2"; }

sleep 2
shot "$(window "$main")" main-normal.png
view 1 && shot "$(window "$main")" main-small.png
view 0
view 4 && shot "$(window "$main")" main-test-space.png
xdotool key Escape
sleep 1
view 2
until_shown '^ TARN VQ4400$'
sleep 1
shot "$(window '^ TARN VQ4400$')" tiny-widget.png
ls -l "$out"/*.png
