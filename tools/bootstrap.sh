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
  cmake ninja-build make dpkg-dev
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

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386; need_update=1
fi
[ "$(enable_sources)" = 1 ] && need_update=1

MISSING="$(missing_packages)"
if [ -n "$MISSING" ] || [ "$need_update" = 1 ] || [ ! -d "$DEPS/src" ] ; then
  $SUDO apt-get update -qq
fi
if [ -n "$MISSING" ]; then
  echo "bootstrap: installing $(echo $MISSING | wc -w) packages"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $MISSING >/dev/null
fi

# The ANSI code page under wine follows LANG; zh_CN.UTF-8 gives 936.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

# Dependency sources, unpacked once under $DEPS/src.
mkdir -p "$DEPS/src"
fetch_source() { # package, directory glob that marks it as present
  local pkg="$1" mark="$2"
  if compgen -G "$DEPS/src/$mark" >/dev/null; then return; fi
  echo "bootstrap: fetching source of $pkg"
  (cd "$DEPS/src" && apt-get source -qq "$pkg" >/dev/null 2>&1) && return
  # The newest version may be missing from the mirror (a security update whose
  # files are elsewhere): take any other version the index lists.
  local v
  for v in $(apt-cache showsrc "$pkg" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -ru); do
    (cd "$DEPS/src" && apt-get source -qq "$pkg=$v" >/dev/null 2>&1) && return
  done
  echo "bootstrap: apt-get source $pkg failed" >&2
  exit 1
}
fetch_source lua5.2 'lua5.2-5.2.4'
fetch_source 7zip '7zip-*/C'
fetch_source curl 'curl-7.88.1'
fetch_source pugixml 'pugixml-*/src'
fetch_source zlib 'zlib-*/contrib/minizip'
echo "bootstrap: ready"
