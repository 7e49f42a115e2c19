#!/usr/bin/env bash
# One Wine session for the Windows checks: "start" makes a fresh private prefix and keeps one
# wineserver running (each program would otherwise wait seconds for a server of its own to end);
# "stop" ends that server and removes the prefix. Uses WINEPREFIX, WINE64 and WINESERVER.
set -euo pipefail
case "${1:-}" in
start)
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # Nothing that stays running may hold this script's output open, or CTest waits for it.
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1 || true
    "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1 # the prefix works
    echo "wine prefix ready: $WINEPREFIX"
    ;;
stop)
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
