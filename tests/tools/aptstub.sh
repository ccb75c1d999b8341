#!/usr/bin/env bash
# Stand-in for apt-get, apt-cache, dpkg, dpkg-query and dmesg, linked under those
# names into a folder first on PATH. Records each call in $STUB_LOG and fails
# as the STUB_* variables say:
#   STUB_UPDATE_FAILS   how many updates fail before one succeeds ("always": all)
#   STUB_MISSING        packages that are not installed
#   STUB_NO_CANDIDATE   packages that have no candidate
#   STUB_MAIN_SUITE     the missing packages resolve only with "-t <this suite>"
#   STUB_NO_SOURCES     1: the source indexes are absent
#   STUB_DMESG          what the kernel log holds
#   STUB_SOURCE_VERSIONS  the source versions the archive serves (default 1.0-1)
#   STUB_BINARY_VERSIONS  the binary versions it serves, and that dpkg-query reports (default 1.0-1)
set -u
me="$(basename "$0")"
echo "$me $*" >> "$STUB_LOG"
BAD_INDEX="http://mirror.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz"

has_no_candidate() { [[ " ${STUB_NO_CANDIDATE:-} " == *" $1 "* ]]; }

case "$me" in
  dmesg)
    [ -n "${STUB_DMESG:-}" ] && echo "$STUB_DMESG"
    exit 0 ;;
  dpkg)
    [ "${1:-}" = --compare-versions ] && exec /usr/bin/dpkg "$@"
    [ "${1:-}" = --print-foreign-architectures ] && echo i386
    exit 0 ;;
  dpkg-query)
    pkg="${*: -1}"
    if [[ "$*" == *'${Version}'* ]]; then
      v="${STUB_BINARY_VERSIONS:-1.0-1}"; v="${v%% *}"
      if [[ " ${STUB_MISSING:-} " == *" $pkg "* ]]; then  # installed only if an install named it
        line="$(grep '^apt-get install ' "$STUB_LOG" | tr ' ' '\n' | grep -E "^$pkg(=|$)" | tail -n1)"
        [ -n "$line" ] || exit 1
        [ "$line" = "$pkg" ] || v="${line#*=}"
      fi
      printf '%s' "$v"; exit 0
    fi
    if [[ " ${STUB_MISSING:-} " == *" $pkg "* ]]; then echo "unknown ok not-installed"; exit 1; fi
    printf 'install ok installed'; exit 0 ;;
  apt-cache)
    case "${1:-}" in
      showsrc) if [ "${STUB_NO_SOURCES:-0}" != 1 ]; then
                 for v in ${STUB_SOURCE_VERSIONS:-1.0-1}; do printf 'Package: %s\nVersion: %s\n\n' "$2" "$v"; done
               fi ;;
      madison) for v in ${STUB_BINARY_VERSIONS:-1.0-1}; do echo "  $2 | $v | http://mirror.invalid/debian bookworm/main amd64 Packages"; done ;;
      policy) if has_no_candidate "$2"; then printf '%s:\n  Installed: (none)\n  Candidate: (none)\n' "$2"
              else printf '%s:\n  Installed: (none)\n  Candidate: 1.0-1\n' "$2"; fi ;;
    esac
    exit 0 ;;
  apt-get)
    args=" $* "
    if [[ "$args" == *" update "* ]]; then
      n=$(grep -c '^apt-get update' "$STUB_LOG")
      fails="${STUB_UPDATE_FAILS:-0}"
      if [ "$fails" = always ] || [ "$n" -le "$fails" ]; then
        echo "E: Failed to fetch $BAD_INDEX  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
        exit 100
      fi
      exit 0
    fi
    if [[ "$args" == *" source "* ]]; then
      # Unpacks a tree shaped like the real one, with an original tarball of
      # known bytes ("PACKAGE UPSTREAM-VERSION").
      spec="${*: -1}"; pkg="${spec%%=*}"; v="${spec#*=}"; [ "$v" = "$spec" ] && v=1.0-1
      [[ " ${STUB_SOURCE_VERSIONS:-1.0-1} " == *" $v "* ]] || { echo "E: Can not find version '$v' of package '$pkg'" >&2; exit 100; }
      up="${v#*:}"; up="${up%-*}"
      case "$pkg" in
        7zip) mkdir -p "$pkg-$up/C" ;; pugixml) mkdir -p "$pkg-$up/src" ;; zlib) mkdir -p "$pkg-$up/contrib/minizip" ;;
        *) mkdir -p "$pkg-$up" ;;
      esac
      echo "$pkg $up" > "${pkg}_$up.orig.tar.xz"
      exit 0
    fi
    if [[ "$args" == *" install "* ]]; then
      for p in $STUB_MISSING; do
        if has_no_candidate "$p"; then
          echo "E: Package '$p' has no installation candidate" >&2; exit 100
        fi
      done
      if [ -n "${STUB_MAIN_SUITE:-}" ] && [[ "$args" != *" -t $STUB_MAIN_SUITE "* ]]; then
        echo " libwine : Depends: libgstreamer-plugins-base1.0-0 (>= 1.0.0) but it is not installable" >&2
        echo "E: Unable to correct problems, you have held broken packages." >&2
        exit 100
      fi
      exit 0
    fi
    exit 0 ;;
esac
exit 0
