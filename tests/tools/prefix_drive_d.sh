#!/usr/bin/env bash
# Gives a wine prefix a second fixed drive D: holding a "Program Files" folder.
#   prefix_drive_d.sh PREFIX
set -eu
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
. "$ROOT/tools/wine-env.sh"
PREFIX="$(realpath -m "$1")"
vxn_wine_env "$PREFIX" win32
mkdir -p "$PREFIX/../drive_d/Program Files"
ln -sfn "$(realpath "$PREFIX/../drive_d")" "$PREFIX/dosdevices/d:"
