#!/usr/bin/env bash
# Sets up, builds and runs every test: the product build (Qt backend included), then an
# AddressSanitizer + UndefinedBehaviorSanitizer build of the headless parts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$root/build" && ctest --output-on-failure -j 2)

if [ "${QUIBBET_SKIP_SANITIZE:-0}" != 1 ]; then
  "$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUIBBET_SANITIZE=ON \
    -DQUIBBET_WITH_QT=OFF -DQUIBBET_BENCH=OFF
  (cd "$root/build-asan" && ctest --output-on-failure -j 2)
fi
