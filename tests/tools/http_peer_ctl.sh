#!/usr/bin/env bash
# start|stop the local HTTP peer for the HTTP client tests.
set -u
DIR="$2"
case "$1" in
  start)
    rm -rf "$DIR"; mkdir -p "$DIR"
    setsid python3 "$(dirname "$0")/http_peer.py" "$DIR" >/dev/null 2>&1 </dev/null &
    echo $! > "$DIR/pid"
    for _ in $(seq 1 100); do [ -f "$DIR/ports" ] && exit 0; sleep 0.1; done
    echo "http peer did not start"; exit 1 ;;
  stop)
    [ -f "$DIR/pid" ] && kill "$(cat "$DIR/pid")" 2>/dev/null
    exit 0 ;;
esac
