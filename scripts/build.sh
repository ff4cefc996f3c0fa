#!/usr/bin/env bash
# Configures and builds one variant: build.sh <dir> [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
cmake -G Ninja -S "$root" -B "$dir" "$@" >/dev/null
ninja -C "$dir" -j "$(nproc)"
