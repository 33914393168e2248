#!/usr/bin/env bash
# Builds the .deb, unpacks it into a temporary root and runs the installed panel against the
# simulator (on TCP, so no device permissions are involved). The panel runs as a user that
# cannot write beside the executable, so it must keep its settings in the per-user folder.
set -euo pipefail
build=$1
cd "$build"
cpack -G DEB >/dev/null
# No pipeline ends in `head` or `grep -q` here: under pipefail the writer they stop reading
# from dies of SIGPIPE and fails the pipeline although the match was there.
debs=(tarn-vq4400_*.deb)
deb=${debs[-1]}
work=$(mktemp -d)
chmod 755 "$work"
app="" sim=""
trap 'kill $app $sim 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

info=$(dpkg-deb --info "$deb")
grep -q "Depends:.*libqt6serialport6" <<<"$info" || fail "no Qt dependencies in the package"
grep -q "Depends:.*fonts-liberation2" <<<"$info" || fail "the panel's face is not a dependency"
grep -q "Recommends:.*xwayland" <<<"$info" || fail "XWayland is not recommended"
grep -q "SPDX-License-Identifier: GPL-3.0-or-later" <<<"$info" || fail "no SPDX licence identifier"
dpkg -x "$deb" "$work/root"
for f in usr/bin/tarn-vq4400 usr/bin/tarn-vq4400-sim usr/share/applications/tarn-vq4400.desktop \
         usr/share/icons/hicolor/scalable/apps/tarn-vq4400.svg usr/share/doc/tarn-vq4400/guide.html \
         usr/share/doc/tarn-vq4400/copyright; do
  [ -e "$work/root/$f" ] || fail "$f missing from the package"
done
grep -q "^Exec=tarn-vq4400$" "$work/root/usr/share/applications/tarn-vq4400.desktop" || fail "desktop entry"
grep -q "^License: GPL-3.0-or-later$" "$work/root/usr/share/doc/tarn-vq4400/copyright" || fail "copyright file"

"$work/root/usr/bin/tarn-vq4400-sim" --tcp 0 --log >"$work/sim.out" 2>"$work/sim.log" </dev/null &
sim=$!
for _ in $(seq 50); do grep -q '^TCP ' "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
endpoint=$(sed -n 's/^TCP //p;T;q' "$work/sim.out")
[ -n "$endpoint" ] || fail "simulator did not start"

config="$work/config"
mkdir -p "$config/tarn-vq4400"
printf '[COM]\nPortNumber= 1\n[Ports]\nCOM1=tcp://%s\n' "$endpoint" >"$config/tarn-vq4400/tarn-vq4400.ini"
chmod -R a+rwX "$config"

run=()
if [ "$(id -u)" -eq 0 ]; then run=(runuser -u nobody --); fi
"${run[@]}" env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$config" HOME="$work" \
  XDG_RUNTIME_DIR="$work" "$work/root/usr/bin/tarn-vq4400" 2>"$work/app.err" &
app=$!
for _ in $(seq 100); do [ "$(grep -c 'RX FB 0C 0C FE' "$work/sim.log")" -ge 5 ] && break; sleep 0.1; done
polls=$(grep -c 'RX FB 0C 0C FE' "$work/sim.log" || true)
[ "$polls" -ge 5 ] || fail "installed panel did not poll (polls: $polls)"
# runuser would turn the signal into its own end: the panel itself is told.
panel=$( ((${#run[@]})) && cat "/proc/$app/task/$app/children" || echo "$app")
kill -TERM $panel
wait $app || fail "exit status $?: force standby not confirmed"
sleep 0.3
# Force standby, then only the polls that ask for its effect.
[ "$(sed -n '/RX FB 03 02 05 FE/,$p' "$work/sim.log" | grep ' RX ' | grep -vc 'RX FB 0C 0C FE')" -eq 1 ] ||
  fail "force standby was not the last frame received but for polls"
[ -e "$work/root/usr/bin/tarn-vq4400.ini" ] && fail "settings written beside the installed executable"
grep -q '^Force_STBY=Yes' "$config/tarn-vq4400/tarn-vq4400.ini" || fail "settings not saved per user"
echo "package $deb: installed panel polled ($polls polls), stopped with standby confirmed, saved per user"
