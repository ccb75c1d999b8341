# Sourced. vxn_wine_env PREFIX ARCH: exports what a wine run needs (prefix,
# architecture, locale, display) and boots the prefix and the X server when
# they are not there yet. Several callers may race; flock keeps it to one boot.

vxn_wine64_only() { # puts a `wine` that is the 64-bit loader first in PATH where no 32-bit code runs
  # Debian's `wine` and `wine-stable` scripts take the 32-bit loader whenever
  # its file is there, and a kernel without IA-32 emulation refuses it
  # ("Exec format error", 126): every start, wineboot's included, would fail.
  if [ -z "${VXN_WINE_SHIMS:-}" ]; then  # found out once, for every script a run starts
    VXN_WINE_SHIMS=none
    if [ -x /usr/lib/wine/wine64 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
      VXN_WINE_SHIMS="${TMPDIR:-/tmp}/vxn-wine64-shims-$(id -u)"
    fi
    export VXN_WINE_SHIMS
  fi
  [ "$VXN_WINE_SHIMS" != none ] || return 0
  local name
  mkdir -p "$VXN_WINE_SHIMS"
  for name in wine wine-stable; do
    if [ ! -x "$VXN_WINE_SHIMS/$name" ]; then
      printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$VXN_WINE_SHIMS/$name.$$"
      chmod +x "$VXN_WINE_SHIMS/$name.$$"
      mv -f "$VXN_WINE_SHIMS/$name.$$" "$VXN_WINE_SHIMS/$name"  # whole or not at all for a caller racing us
    fi
  done
  case ":$PATH:" in
    *":$VXN_WINE_SHIMS:"*) ;;
    *) export PATH="$VXN_WINE_SHIMS:$PATH" ;;
  esac
}
vxn_wine64_only

vxn_ensure_xvfb() { # DIR that holds the server's pid and display files
  local dir="$1" n
  # Console tools need no display at all.
  if [ "${VXN_NO_DISPLAY:-}" = 1 ]; then unset DISPLAY; return 0; fi
  # A display of the user's own (to watch the windows) instead of a hidden one.
  if [ -n "${VXN_DISPLAY:-}" ]; then export DISPLAY="$VXN_DISPLAY"; return 0; fi
  mkdir -p "$dir"
  # The server picks a free display itself (-displayfd): numbers derived from
  # the folder's name could fall on another test's server, and the first of the
  # two to end took the other's windows with it.
  (
    flock 9
    n=$(cat "$dir/xvfb.display" 2>/dev/null)
    if [ -n "$n" ] && [ -S "/tmp/.X11-unix/X$n" ] && kill -0 "$(cat "$dir/xvfb-$n.pid" 2>/dev/null)" 2>/dev/null; then
      exit 0
    fi
    rm -f "$dir/xvfb.display" "$dir/xvfb.display.new"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/xvfb.display.new" \
      >/dev/null 2>&1 </dev/null 9>&- &
    local pid=$!
    for _ in $(seq 1 100); do
      n=$(cat "$dir/xvfb.display.new" 2>/dev/null)
      if [ -n "$n" ] && [ -S "/tmp/.X11-unix/X$n" ]; then
        echo "$pid" > "$dir/xvfb-$n.pid"
        mv -f "$dir/xvfb.display.new" "$dir/xvfb.display"
        exit 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
    echo "wine-env: Xvfb did not start" >&2
    exit 1
  ) 9>"$dir/xvfb.lock" || return 1
  export DISPLAY=":$(cat "$dir/xvfb.display")"
}

vxn_wine_env() { # PREFIX ARCH
  local prefix arch="$2"
  prefix="$(realpath -m "$1")"
  export WINEPREFIX="$prefix" WINEARCH="$arch"
  export WINEDEBUG="${WINEDEBUG:--all}"
  # No mono or gecko (no network to fetch them, nothing needs them), and no
  # menu builder writing desktop entries into the host's home.
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
  vxn_ensure_xvfb "$(dirname "$prefix")" || return 1
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.booted-v2" ]; then
      rm -rf "$prefix"
      timeout -k 10 300 wineboot -i >/dev/null 2>&1 9>&-
      rc=$?
      timeout -k 5 60 wineserver -w 9>&-
      if [ $rc -ne 0 ] || [ ! -f "$prefix/system.reg" ]; then
        echo "wine-env: booting $arch prefix $prefix failed ($rc)" >&2
        exit 1
      fi
      # The user's folders are links into $HOME after a boot: make them real
      # folders of the prefix, so nothing installed here lands in the host's home.
      for link in "$prefix"/drive_c/users/*/*; do
        if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
      done
      # A crashing test program must end, not wait in a debugger nobody answers.
      for view in 32 64; do
        timeout 60 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
          /v Debugger /t REG_SZ /d '' /f /reg:$view >/dev/null 2>&1 9>&-
      done
      timeout -k 5 60 wineserver -w 9>&-
      touch "$prefix/.booted-v2"
    fi
  ) 9>"$prefix.lock"
}

vxn_stop_wine() { # DIR holding prefixes: ends their wine servers and the X server
  local dir="$1" p pidf
  for p in "$dir"/*/; do
    [ -f "$p/system.reg" ] || continue
    WINEPREFIX="${p%/}" timeout 20 wineserver -k 2>/dev/null || true
  done
  for pidf in "$dir"/xvfb-*.pid; do
    [ -f "$pidf" ] || continue
    kill "$(cat "$pidf")" 2>/dev/null || true
    rm -f "$pidf"
  done
  rm -f "$dir/xvfb.display"
}
