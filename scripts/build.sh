#!/usr/bin/env bash
# Configures and builds everything into build/ (programs land in build/bin/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ONDIVO_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
