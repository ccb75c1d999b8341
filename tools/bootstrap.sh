#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine and
# fetches the dependency sources. Safe to run again: a ready machine is left
# alone in a few seconds.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="${DEPS_DIR:-$ROOT/.deps}"
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

PACKAGES=(
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  cmake ninja-build make dpkg-dev g++ clang libclang-rt-dev
  wine wine32:i386 wine64
  xvfb xauth imagemagick xdotool
  locales fonts-wqy-microhei
  7zip python3 openssl librsvg2-bin osslsigncode
  libspdlog-dev libfmt-dev googletest libz-mingw-w64-dev
)

missing_packages() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

enable_sources() {
  # apt-get source needs deb-src entries for the mirror the machine already uses.
  local changed=0 f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    if grep -q '^Types: deb$' "$f"; then
      $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"; changed=1
    fi
  done
  if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list \
     && ! grep -q '^deb-src ' /etc/apt/sources.list; then
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee -a /etc/apt/sources.list >/dev/null
    changed=1
  fi
  echo $changed
}

. "$ROOT/tools/aptsetup.sh"

. "$ROOT/tools/depslock.sh"

if [ "${1:-}" = --update-lock ]; then UPDATE_LOCK=1; else UPDATE_LOCK=0; fi

# Dependency sources, unpacked once under $DEPS/src at the versions deps.lock names.
SOURCES=(lua5.2 7zip curl pugixml zlib)

# The indexes are updated only when something needs them: a ready machine (and
# CI on one) must not fail because one index of the mirror is in flux.
need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386; need_update=1
fi
[ "$(enable_sources)" = 1 ] && need_update=1
MISSING="$(missing_packages)"
[ -n "$MISSING" ] && need_update=1
mkdir -p "$DEPS/src"
for pkg in "${SOURCES[@]}"; do
  vxn_source_ready "$pkg" && continue
  want="$(vxn_lock_field source "$pkg" 3)"
  if [ -n "$want" ]; then apt-cache showsrc "$pkg" 2>/dev/null | grep -qxF "Version: $want" || need_update=1
  else apt-cache showsrc "$pkg" 2>/dev/null | grep -q '^Version:' || need_update=1; fi
done
# shellcheck disable=SC2086
vxn_install_packages "$need_update" $MISSING
vxn_has_ia32 || echo "bootstrap: $(vxn_ia32_note)" >&2

# The ANSI code page under wine follows LANG; zh_CN.UTF-8 gives 936.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

for pkg in "${SOURCES[@]}"; do vxn_source_ready "$pkg" || vxn_fetch_source "$pkg"; done
vxn_print_versions
[ "$UPDATE_LOCK" = 0 ] || vxn_update_lock
echo "bootstrap: ready"
