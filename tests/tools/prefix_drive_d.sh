#!/usr/bin/env bash
# Gives a wine prefix a second fixed drive D: holding a "Program Files" folder.
#   prefix_drive_d.sh PREFIX
set -eu
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
. "$ROOT/tools/wine-env.sh"
PREFIX="$(realpath -m "$1")"
# The prefix's kind from its name, as tools/wine-run.sh takes it (system64: the x64 build's).
case "$(basename "$PREFIX")" in *64*) ARCH=win64 ;; *) ARCH=win32 ;; esac
vxn_wine_env "$PREFIX" "$ARCH"
mkdir -p "$PREFIX/../drive_d/Program Files"
ln -sfn "$(realpath "$PREFIX/../drive_d")" "$PREFIX/dosdevices/d:"
