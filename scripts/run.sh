#!/usr/bin/env bash
# Installs what is missing, builds, and starts KWN Frame Builder on the
# catalogue in this repository's xml folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
cd "$root"   # the tool reads the xml folder of its working directory
exec "${BUILD_DIR:-$root/build}/kwn-frame-builder"
