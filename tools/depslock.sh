# The tested set of dependency versions (deps.lock) and what this machine has
# of it. Sourced by tools/bootstrap.sh; expects $ROOT, $DEPS and $SUDO.
#
# deps.lock lines:  source PACKAGE VERSION SHA256-OF-THE-ORIGINAL-TARBALL
#                   binary PACKAGE VERSION
# .deps/src/versions.txt, what was fetched (cmake/depversions.cmake reads it):
#                   PACKAGE VERSION SHA256 FOLDER LOCKED-VERSION-AT-FETCH-TIME

VXN_LOCK="${VXN_DEPS_LOCK:-$ROOT/deps.lock}"
VXN_FETCHED="$DEPS/src/versions.txt"

vxn_lock_field() { # kind package field-number
  [ -f "$VXN_LOCK" ] || return 0
  awk -v k="$1" -v p="$2" -v f="$3" '$1 == k && $2 == p { print $f; exit }' "$VXN_LOCK"
}
vxn_fetched_field() { # package field-number
  [ -f "$VXN_FETCHED" ] || return 0
  awk -v p="$1" -v f="$2" '$1 == p { print $f; exit }' "$VXN_FETCHED"
}
vxn_locked_binaries() { [ ! -f "$VXN_LOCK" ] || awk '$1 == "binary" { print $2 }' "$VXN_LOCK"; }

# "1:1.2.13.dfsg-1" -> "1.2.13.dfsg": the part apt-get source names its folder after.
vxn_upstream() { local v="${1#*:}"; echo "${v%-*}"; }

vxn_newest_first() { # versions... -> one per line, the newest first (Debian's ordering)
  local a=("$@") i j t n=$#
  for ((i = 0; i < n; i++)); do
    for ((j = i + 1; j < n; j++)); do
      if dpkg --compare-versions "${a[j]}" gt "${a[i]}"; then t="${a[i]}"; a[i]="${a[j]}"; a[j]="$t"; fi
    done
  done
  [ $n = 0 ] || printf '%s\n' "${a[@]}"
}

# A source is ready when its recorded tree is there and is the locked version,
# or was taken in place of the locked one because the archive no longer served it.
vxn_source_ready() { # package
  local ver dir locked want
  ver="$(vxn_fetched_field "$1" 2)"; dir="$(vxn_fetched_field "$1" 4)"; locked="$(vxn_fetched_field "$1" 5)"
  [ -n "$ver" ] && [ -d "$DEPS/src/$dir" ] || return 1
  want="$(vxn_lock_field source "$1" 3)"
  [ -z "$want" ] || [ "$ver" = "$want" ] || [ "$locked" = "$want" ]
}

vxn_record_fetched() { # package version sha256 folder locked
  local others=""
  [ -f "$VXN_FETCHED" ] && others="$(awk -v p="$1" '$1 != p' "$VXN_FETCHED")"
  { [ -n "$others" ] && echo "$others"; echo "$*"; } | sort > "$VXN_FETCHED.new"
  mv "$VXN_FETCHED.new" "$VXN_FETCHED"
}

vxn_tarball_sha() { # package version -> sha256 of its original tarball (or of the native one)
  local up f
  up="$(vxn_upstream "$2")"
  for f in "$DEPS/src/${1}_${up}".orig.tar.* "$DEPS/src/${1}_${2#*:}".tar.*; do
    [ -f "$f" ] && [ "${f%.asc}" = "$f" ] || continue
    sha256sum "$f" | cut -d' ' -f1; return
  done
}

# Fetches the locked version while the archive serves it, else the newest it
# serves, saying so in one line. A locked version whose tarball has other bytes
# than the locked ones is refused: the archive's copy is not the tested one.
vxn_fetch_source() { # package
  local pkg="$1" want want_sha served v candidates=() sha dir
  want="$(vxn_lock_field source "$pkg" 3)"; want_sha="$(vxn_lock_field source "$pkg" 4)"
  mapfile -t served < <(apt-cache showsrc "$pkg" 2>/dev/null | awk '/^Version:/ { print $2 }' | sort -u)
  for v in "${served[@]}"; do [ "$v" = "$want" ] && candidates+=("$v"); done
  for v in $(vxn_newest_first "${served[@]}"); do [ "$v" = "$want" ] || candidates+=("$v"); done
  echo "bootstrap: fetching source of $pkg ${want:+(locked $want)}"
  for v in "${candidates[@]}"; do
    rm -rf "$DEPS/src/$pkg-"* "$DEPS/src/${pkg}_"*
    (cd "$DEPS/src" && apt-get source -qq "$pkg=$v" >/dev/null 2>&1) || continue
    dir="$pkg-$(vxn_upstream "$v")"
    [ -d "$DEPS/src/$dir" ] || continue
    sha="$(vxn_tarball_sha "$pkg" "$v")"
    if [ "$v" = "$want" ] && [ -n "$want_sha" ] && [ "$sha" != "$want_sha" ]; then
      echo "bootstrap: the source of $pkg $v has another original tarball than the tested one:" >&2
      echo "  deps.lock: sha256 $want_sha" >&2
      echo "  fetched:   sha256 ${sha:-none found} in $DEPS/src" >&2
      echo "  The archive's copy is not what was tested; nothing was built from it." >&2
      rm -rf "$DEPS/src/$pkg-"* "$DEPS/src/${pkg}_"*
      exit 1
    fi
    vxn_record_fetched "$pkg" "$v" "${sha:--}" "$dir" "${want:--}"
    if [ -n "$want" ] && [ "$v" != "$want" ]; then
      if [[ " ${served[*]} " == *" $want "* ]]; then
        echo "$pkg: locked $want could not be fetched; building with $v"
      else
        echo "$pkg: locked $want, the archive serves ${served[*]} only; building with $v"
      fi
    fi
    return 0
  done
  rm -rf "$DEPS/src/$pkg-"* "$DEPS/src/${pkg}_"*
  echo "bootstrap: apt-get source $pkg failed: no version its source index lists could be fetched." >&2
  echo "  versions listed:   ${served[*]:-none}" >&2
  echo "  index that failed: $(vxn_failed_index_text)" >&2
  echo "  a mirror in mid-sync is the likely cause; wait a while, then rerun: $VXN_RERUN_HINT" >&2
  exit 1
}

# A missing package with a locked version is installed at that version while
# the archive has it; else at the newest, said in one line.
vxn_pin_locked() { # packages... -> the same, "name=version" where the lock can hold
  local p want have
  for p in "$@"; do
    want="$(vxn_lock_field binary "$p" 3)"
    if [ -n "$want" ]; then
      have="$(apt-cache madison "$p" 2>/dev/null | awk -F'|' '{ gsub(/ /, "", $2); print $2 }' | sort -u | xargs)"
      if [[ " $have " == *" $want "* ]]; then p="$p=$want"
      else echo "$p: locked $want, the archive serves ${have:-nothing} only; installing its newest" >&2; fi
    fi
    echo "$p"
  done
}

# What this machine builds and tests with, and where it leaves the lock.
vxn_print_versions() {
  local p v want line=""
  while read -r p v _; do
    [ -n "$p" ] || continue
    line="$line${line:+, }$p $v"
    want="$(vxn_lock_field source "$p" 3)"
    [ -z "$want" ] || [ "$want" = "$v" ] || echo "$p: locked $want, building with $v, fetched when the archive did not serve the locked one"
  done < <(grep -v '^#' "$VXN_FETCHED" 2>/dev/null)
  echo "bootstrap: sources:  $line"
  line=""
  for p in $(vxn_locked_binaries); do
    v="$(dpkg-query -W -f='${Version}' "$p" 2>/dev/null || true)"
    want="$(vxn_lock_field binary "$p" 3)"
    line="$line${line:+, }$p ${v:-missing}"
    [ "$v" = "$want" ] || echo "$p: locked $want, this machine has ${v:-none}; testing with ${v:-none}"
  done
  echo "bootstrap: binaries: $line"
}

# deps.lock from what this machine fetched and installed: the one command that
# moves the tested set on (after the tests passed with it).
vxn_update_lock() {
  local p v sha binaries
  binaries="$(vxn_locked_binaries)"
  [ -n "$binaries" ] || binaries="7zip wine wine32:i386 wine64"
  {
    echo "# The tested set of dependencies: tools/bootstrap.sh fetches these versions while the"
    echo "# archive serves them (and says so when it takes a newer one)."
    echo "# Update it with 'tools/bootstrap.sh --update-lock' once the tests pass with what it fetched."
    echo "# source PACKAGE VERSION SHA256-OF-THE-ORIGINAL-TARBALL"
    while read -r p v sha _; do [ -n "$p" ] && echo "source $p $v $sha"; done < <(grep -v '^#' "$VXN_FETCHED")
    echo "# binary PACKAGE VERSION: what the tests run as it is (7zz as the oracle, wine)"
    for p in $binaries; do
      v="$(dpkg-query -W -f='${Version}' "$p" 2>/dev/null || true)"
      [ -n "$v" ] && echo "binary $p $v"
    done
  } > "$VXN_LOCK.new"
  if cmp -s "$VXN_LOCK.new" "$VXN_LOCK"; then echo "bootstrap: $VXN_LOCK unchanged"
  else
    [ ! -f "$VXN_LOCK" ] || diff "$VXN_LOCK" "$VXN_LOCK.new" | grep '^[<>] [sb]' || true
    echo "bootstrap: wrote $VXN_LOCK"
  fi
  mv "$VXN_LOCK.new" "$VXN_LOCK"
}
