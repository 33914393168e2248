#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
set -euo pipefail

# dpkg-dev and file build the Debian package that the tests install. libssl3 is Qt's TLS
# backend at run time; ser2net and openssl serve the remote-station tests. fonts-liberation2
# is the face the layouts are drawn for (Arial's widths); the window-manager test runs the
# panel under xvfb with openbox and drives it with xdotool, and x11-utils reads the window
# properties. qt6-multimedia-dev plays the alarm sound; pulseaudio and pulseaudio-utils give the
# sound test a server with a null sink to record from. weston (headless, with and without
# xwayland) and mutter are the Wayland sessions of the Wayland test. The screen-reader test
# reads the panel over the accessibility bus with pyatspi in a private D-Bus session.
packages=(cmake g++ ninja-build qt6-base-dev qt6-serialport-dev qt6-multimedia-dev libgtest-dev
          dpkg-dev file libssl3 ser2net openssl pulseaudio pulseaudio-utils
          libxcb1-dev fonts-liberation2 fonts-dejavu-core xvfb openbox xdotool x11-utils
          weston qt6-wayland xwayland mutter python3-pyatspi at-spi2-core dbus)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Please install as root: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
