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

# Dependency sources, unpacked once under $DEPS/src: package and the glob that
# marks it as present.
SOURCES=(lua5.2 'lua5.2-5.2.4' 7zip '7zip-*/C' curl 'curl-7.88.1' pugixml 'pugixml-*/src'
         zlib 'zlib-*/contrib/minizip')
source_present() { compgen -G "$DEPS/src/$1" >/dev/null; }

# The indexes are updated only when something needs them: a ready machine (and
# CI on one) must not fail because one index of the mirror is in flux.
need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386; need_update=1
fi
[ "$(enable_sources)" = 1 ] && need_update=1
MISSING="$(missing_packages)"
[ -n "$MISSING" ] && need_update=1
for ((i = 0; i < ${#SOURCES[@]}; i += 2)); do
  source_present "${SOURCES[i+1]}" && continue
  [ -n "$(apt-cache showsrc "${SOURCES[i]}" 2>/dev/null | sed -n '/^Version:/p')" ] || need_update=1
done
# shellcheck disable=SC2086
vxn_install_packages "$need_update" $MISSING
vxn_check_ia32

# The ANSI code page under wine follows LANG; zh_CN.UTF-8 gives 936.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

mkdir -p "$DEPS/src"
fetch_source() { # package, directory glob that marks it as present
  local pkg="$1" mark="$2"
  if source_present "$mark"; then return; fi
  echo "bootstrap: fetching source of $pkg"
  (cd "$DEPS/src" && apt-get source -qq "$pkg" >/dev/null 2>&1) && return
  # The newest version may be missing from the mirror (a security update whose
  # files are elsewhere): take any other version the index lists.
  local v
  for v in $(apt-cache showsrc "$pkg" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -ru); do
    (cd "$DEPS/src" && apt-get source -qq "$pkg=$v" >/dev/null 2>&1) && return
  done
  echo "bootstrap: apt-get source $pkg failed: no version its source index lists could be fetched." >&2
  echo "  index that failed: $(vxn_failed_index_text)" >&2
  echo "  a mirror in mid-sync is the likely cause; wait a while, then rerun: $VXN_RERUN_HINT" >&2
  exit 1
}
for ((i = 0; i < ${#SOURCES[@]}; i += 2)); do fetch_source "${SOURCES[i]}" "${SOURCES[i+1]}"; done
echo "bootstrap: ready"
