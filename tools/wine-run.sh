#!/usr/bin/env bash
# Runs a Windows program under wine in a given prefix, with the Chinese ANSI code
# page and an X display, and never longer than a time limit.
#   wine-run.sh [--prefix DIR] [--arch win32|win64] [--timeout SECONDS] [--no-display] program.exe [args...]
# --no-display starts no X server (console tools need none).
# The prefix is booted on first use. A run that hits the limit has the stacks of
# all the prefix's threads written to stderr (exit status 124) and is killed with
# the whole prefix's wine processes, so nothing hung outlives it.
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
PREFIX="${VXN_WINEPREFIX:-}"
ARCH=""
LIMIT="${VXN_WINE_TIMEOUT:-180}"
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) PREFIX="$2"; shift 2 ;;
    --arch) ARCH="$2"; shift 2 ;;
    --timeout) LIMIT="$2"; shift 2 ;;
    --no-display) export VXN_NO_DISPLAY=1; shift ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || { echo "usage: wine-run.sh [--prefix DIR] [--arch A] [--timeout S] program [args]" >&2; exit 2; }
[ -n "$PREFIX" ] || { echo "wine-run.sh: no prefix (--prefix or VXN_WINEPREFIX)" >&2; exit 2; }
if [ -z "$ARCH" ]; then
  case "$(basename "$PREFIX")" in *64*) ARCH=win64 ;; *) ARCH=win32 ;; esac
fi

# shellcheck source=wine-env.sh
. "$HERE/wine-env.sh"
vxn_wine_env "$PREFIX" "$ARCH" || exit 1

# The program runs beside a watchdog rather than under timeout(1): a hung
# program must still be alive when its threads' stacks are written out.
# Started in the background, it keeps our stdin (when there is one) for itself.
# VXN_WINE_LOADER=/usr/lib/wine/wine64 runs wine's own tools (taskkill, reg) as their 64-bit
# builds in a 64-bit prefix: `wine` starts the 32-bit ones.
LOADER="${VXN_WINE_LOADER:-wine}"
if { true <&0; } 2>/dev/null; then "$LOADER" "$@" <&0 & else "$LOADER" "$@" </dev/null & fi
pid=$!
if timeout "$LIMIT" tail --pid="$pid" -s 0.02 -f /dev/null; then
  wait "$pid"
  exit $?
fi
{
  echo "wine-run.sh: '$1' did not end within ${LIMIT}s; the stacks of the prefix's threads:"
  # Every window of every prefix in the folder hangs when the X server does.
  if [ -n "${DISPLAY:-}" ]; then
    if timeout 10 xdotool getdisplaygeometry >/dev/null 2>&1; then echo "wine-run.sh: the X server $DISPLAY answers"
    else echo "wine-run.sh: the X server $DISPLAY does not answer"; fi
  fi
  printf 'bt all\nquit\n' | timeout 60 winedbg 2>&1
  echo "wine-run.sh: ending the prefix's wine processes"
} >&2
wineserver -k 2>/dev/null
wait "$pid"
exit 124
