#!/usr/bin/env bash
# Installs what is missing, builds, and starts the panel.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
exec build/src/app/tarn-vq4400
