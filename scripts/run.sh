#!/usr/bin/env bash
# Sets up, builds and runs Quibbet_demo. Without a display it runs on a virtual one (Xvfb).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -G Ninja -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$root/build" -j "$(nproc)" quibbet_demo
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "no display: running on a virtual X server"
  exec xvfb-run -a "$root/build/app/quibbet_demo"
fi
exec "$root/build/app/quibbet_demo"
