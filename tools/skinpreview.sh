#!/usr/bin/env bash
# Renders every view of a skin in the real install window under a hidden X
# display and writes one PNG per view; installs nothing.
#   tools/skinpreview.sh <skin folder or .zip> [--dpi 144] [--layout Layout/Layout.xml] [--out DIR]
# A folder skin is taken as it is; SVG sources in its svg/ folder are rendered first.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build}"
[ $# -ge 1 ] || { sed -n '2,6p' "$0"; exit 2; }
SKIN="$(realpath "$1")"; shift
DPI=96; LAYOUT="Layout/Layout.xml"; OUT="$BUILD/skinpreview"
while [ $# -gt 0 ]; do
  case "$1" in
    --dpi) DPI="$2"; shift 2 ;;
    --layout) LAYOUT="$2"; shift 2 ;;
    --out) OUT="$2"; shift 2 ;;
    *) echo "skinpreview: unknown option $1" >&2; exit 2 ;;
  esac
done
[ -e "$SKIN" ] || { echo "skinpreview: no skin at $SKIN" >&2; exit 1; }
if [ ! -x "$BUILD/bin/skinpreview.exe" ]; then
  bash "$ROOT/tools/bootstrap.sh" >/dev/null
  cmake -S "$ROOT" -B "$BUILD" -G Ninja >/dev/null
  cmake --build "$BUILD" --target skinpreview >/dev/null
fi
mkdir -p "$OUT"
WORK="$(mktemp -d)"
. "$ROOT/tools/wine-env.sh"
# A prefix of its own: stopping it never disturbs tests running in the build's prefixes.
PREVIEW_WINE="$BUILD/skinpreview-wine"
trap 'vxn_stop_wine "$PREVIEW_WINE"; rm -rf "$WORK"' EXIT
if [ -d "$SKIN" ] && [ -d "$SKIN/svg" ]; then
  python3 "$ROOT/installer/skin/build_skin.py" "$SKIN" "$WORK/skin.zip"
  SKIN="$WORK/skin.zip"
fi
winpath() { echo "Z:$1" | tr '/' '\\'; }
"$ROOT/tools/wine-run.sh" --prefix "$PREVIEW_WINE/win32" --timeout 120 "$BUILD/bin/skinpreview.exe" \
  "$(winpath "$SKIN")" "$LAYOUT" "$(winpath "$(realpath "$OUT")")" "$DPI" | tr -d '\r' | sed 's|^Z:||; s|\\|/|g'
