#!/usr/bin/env bash
# One command from a fresh Debian 12 machine: install packages, build, run every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build="${ONDIVO_BUILD_DIR:-$root/build}"
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
