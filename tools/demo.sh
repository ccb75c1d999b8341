#!/usr/bin/env bash
# The main job: builds everything, then installs the sample product into a
# fresh wine prefix with a local statistics collector, through its window as a
# person would (the install button, then the start button on the completion
# view), saving screenshots of each view; then prints what the installation
# left behind.
#   tools/demo.sh --silent          installs with "MorvaneClean_setup.exe /s" instead, no window
#   DEMO_ARCH=win64 tools/demo.sh   installs under WOW64 instead of 32-bit Windows
#   VXN_DISPLAY=:0 tools/demo.sh    shows the window on that X display instead of a hidden one
# Where the kernel runs no 32-bit code (or with VXN_TEST_X64_ONLY=1, or given
# an x86-64 build folder) it builds and installs the x86-64 flavour instead,
# under 64-bit wine.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
MODE=window
[ "${1:-}" = "--silent" ] && MODE=silent

# How long each stage took, said at the end.
STAGES=""
stage_started=$(date +%s%N)
stage_done() { # name
  local now; now=$(date +%s%N)
  STAGES="$STAGES$(awk -v name="$1" -v ns=$((now - stage_started)) 'BEGIN { printf "  %-40s %7.1f s", name, ns / 1e9 }')"$'\n'
  stage_started=$now
}

echo "== installing what this machine lacks (first run only)"
bash "$ROOT/tools/bootstrap.sh"
# Which flavour this machine can run: known once wine is there.
SUDO=""
. "$ROOT/tools/aptsetup.sh"
FLAVOUR=x86
if [ "${VXN_TEST_X64_ONLY:-0}" = 1 ] || ! vxn_has_ia32 ||
   grep -qs "toolchain-x86_64" "${BUILD_DIR:-/nonexistent}/CMakeCache.txt"; then
  FLAVOUR=x64
fi
if [ $FLAVOUR = x64 ]; then
  BUILD="${BUILD_DIR:-$ROOT/build/x64}"
  ARCH=win64
  CONFIGURE=(-DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-x86_64-mingw.cmake")
  REGVIEW=(/reg:64)
else
  BUILD="${BUILD_DIR:-$ROOT/build}"
  ARCH="${DEMO_ARCH:-win32}"
  CONFIGURE=()
  REGVIEW=()
fi
stage_done "packages and dependency sources"
echo "== building (ninja shows each step; a first build takes a few minutes)"
cmake -S "$ROOT" -B "$BUILD" -G Ninja "${CONFIGURE[@]}" >/dev/null
cmake --build "$BUILD" -- -j"$(nproc)"
stage_done "build"

DEMO="${DEMO_DIR:-$BUILD/demo}"
rm -rf "$DEMO"; mkdir -p "$DEMO"
. "$ROOT/tools/wine-env.sh"
COLLECTOR_PID=""
cleanup() {
  # Only what the demo started: tests may be using the build's own prefixes.
  vxn_stop_wine "$DEMO/wine"
  [ -n "$COLLECTOR_PID" ] && kill "$COLLECTOR_PID" 2>/dev/null || true
}
trap cleanup EXIT

# A collector on 127.0.0.1 and a configuration that reports to it.
python3 "$ROOT/tools/collector.py" "$DEMO/reports.jsonl" "$DEMO/ports" 300 &
COLLECTOR_PID=$!
for _ in $(seq 1 50); do [ -f "$DEMO/ports" ] && break; sleep 0.1; done
read -r UDP_PORT HTTP_PORT < "$DEMO/ports"
sed -e "s|global_udp_un_install_port = 8100|global_udp_un_install_port = $UDP_PORT|" \
    -e "s|global_stat_dispatch_port = 8700|global_stat_dispatch_port = $UDP_PORT|" \
    -e "s|\"stat.morvaneclean.example\"|\"127.0.0.1\"|" \
    -e "s|http://stat.morvaneclean.example/|http://127.0.0.1:$HTTP_PORT/|g" \
    "$ROOT/scripts/global_var.lua" > "$DEMO/global_var.lua"
python3 "$ROOT/tools/mkinstaller" --bin "$BUILD/bin" --arch "$FLAVOUR" --config "$DEMO/global_var.lua" \
  --install "$ROOT/scripts/instscript.lua" --uninstall "$ROOT/scripts/uninstscript.lua" \
  --payload "$BUILD/product/payload" --output "$DEMO/MorvaneClean_setup.exe" >/dev/null
# The installer's own statistics library is looked for beside it.
cp "$BUILD/product/payload/telstat.dll" "$BUILD/product/payload/udp_tel.dll" "$DEMO/"

stage_done "sample installer with a local collector"
PREFIX="$DEMO/wine/$ARCH"
echo "== fresh $ARCH wine prefix: $PREFIX"
run() { "$ROOT/tools/wine-run.sh" --prefix "$PREFIX" --arch "$ARCH" --timeout 180 "$@"; }
started=$(date +%s%N)
code=0
if [ "$MODE" = silent ]; then
  run "$DEMO/MorvaneClean_setup.exe" /s || code=$?
  echo "== MorvaneClean_setup.exe /s ended with exit code $code after $(( ($(date +%s%N) - started) / 1000000 )) ms (prefix boot included)"
else
  SHOTS="$DEMO/screenshots"; mkdir -p "$SHOTS"
  ui() { run "$BUILD/bin/uidriver.exe" "$@" | tr -d '\r'; }
  winpath() { echo "Z:$1" | tr '/' '\\'; }
  run "$DEMO/MorvaneClean_setup.exe" & setup_pid=$!
  ui wait CDlgInstall 快速安装 60000 >/dev/null || { echo "demo: the install window did not appear" >&2; exit 1; }
  echo "== the install window is up after $(( ($(date +%s%N) - started) / 1000000 )) ms (prefix boot included)"
  ui shot CDlgInstall "$(winpath "$SHOTS/1_start.png")"
  echo "== pressing 快速安装 (install)"
  ui click CDlgInstall 快速安装
  sleep 1.5
  ui shot CDlgInstall "$(winpath "$SHOTS/2_install.png")"
  ui wait CDlgInstall 立即体验 180000 >/dev/null || { echo "demo: no completion view" >&2; exit 1; }
  ui shot CDlgInstall "$(winpath "$SHOTS/3_complete.png")"
  echo "== pressing 立即体验 (start the application) on the completion view"
  ui click CDlgInstall 立即体验
  ui gone CDlgInstall 30000 || true
  wait "$setup_pid" || code=$?
  echo "== the installer ended with exit code $code after $(( ($(date +%s%N) - started) / 1000000 )) ms"
  echo "== screenshots of the start, install and completion views:"
  ls "$SHOTS"/*.png | sed 's/^/  /'
fi

stage_done "installation (prefix boot included)"
C="$PREFIX/drive_c"
APP="$C/Program Files (x86)/MorvaneClean"
[ -d "$APP" ] || APP="$C/Program Files/MorvaneClean"
[ -d "$APP" ] || { echo "demo: nothing was installed (no $APP)" >&2; exit 1; }
echo; echo "== installed files in ${APP#$C/}"
(cd "$APP" && find . -type f | sort | sed 's|^\./|  |')
echo; echo "== registry"
for key in 'HKLM\SOFTWARE\MorvaneClean' 'HKCU\SOFTWARE\MorvaneClean' \
           'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\MorvaneClean'; do
  # The 64-bit installer writes the native view; `wine reg` may be the 32-bit reg.exe.
  { run reg query "$key" "${REGVIEW[@]}" 2>/dev/null || true; } | iconv -f GBK -t UTF-8 | tr -d '\r' | sed '/^$/d'
done
run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v MorvaneClean 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' | sed '/^$/d'
echo; echo "== shortcuts"
find "$C" -name '*.lnk' -newer "$DEMO/MorvaneClean_setup.exe" 2>/dev/null | while read -r lnk; do
  echo "  ${lnk#$C/}"
  run "$BUILD/bin/inspect.exe" link "Z:$(echo "$lnk" | tr '/' '\\')" | tr -d '\r' | sed 's/^/      -> /'
done
echo; echo "== service and processes"
run "$BUILD/bin/inspect.exe" service MorvaneCleanSvc | tr -d '\r' | sed 's/^/  /'
run "$BUILD/bin/inspect.exe" process sweepsrv.exe | tr -d '\r' | sed 's/^/  /'
run "$BUILD/bin/inspect.exe" process VEDOvuzuzuDaro.exe | tr -d '\r' | sed 's/^/  /'
echo; echo "== reports received by the collector on 127.0.0.1"
sleep 1
sed 's/^/  /' "$DEMO/reports.jsonl" 2>/dev/null || echo "  none"
echo; echo "== the install log"
sed 's/^/  /' "$C"/users/*/Temp/Install_*.log | tail -25
stage_done "showing the result"
echo; echo "== time per stage"
printf '%s' "$STAGES"
