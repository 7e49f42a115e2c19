#!/usr/bin/env bash
# One command from a fresh Debian 12 machine: install packages, build, start the local simulator
# with demo data and the client pointed at it. Needs a display (or run it under xvfb-run -a).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
bin="${ONDIVO_BUILD_DIR:-$root/build}/bin"
export QTWEBENGINE_DISABLE_SANDBOX=1

if [ -x "$bin/ondivo-sim" ]; then
  data="$(mktemp -d /tmp/ondivo-demo-XXXXXX)"
  fifo="$data/sim.out"
  mkfifo "$fifo"
  "$bin/ondivo-sim" --demo --data-dir "$data" >"$fifo" 2>"$data/sim.log" &
  sim=$!
  trap 'kill $sim 2>/dev/null || true' EXIT
  cloud=""
  while IFS= read -r line; do
    echo "$line"
    case "$line" in
      "ONDIVO_SIM "*)
        json="${line#ONDIVO_SIM }"
        cloud="$(printf '%s' "$json" | sed -E 's/.*"cloud": *"([^"]+)".*/\1/')"
        user="$(printf '%s' "$json" | sed -nE 's/.*"username": *"([^"]*)".*/\1/p')"
        pass="$(printf '%s' "$json" | sed -nE 's/.*"password": *"([^"]*)".*/\1/p')"
        break ;;
    esac
  done <"$fifo"
  cat "$fifo" >/dev/null &
  if [ -z "$cloud" ]; then
    echo "ondivo-sim did not start; see $data/sim.log" >&2
    exit 1
  fi
  export ONDIVO_CLOUD_API_URL="$cloud"
  export ONDIVO_IPGEO_URL="$cloud"
  echo "Simulator Cloud API: $ONDIVO_CLOUD_API_URL (data in $data)"
  echo "Sign in with account \"$user\" and password \"$pass\"."
fi

if [ -z "${ONDIVO_CLOUD_API_URL:-}" ]; then
  echo "ONDIVO_CLOUD_API_URL is not set; the client uses its built-in Cloud API address."
fi
"$bin/Ondivo" "$@"
