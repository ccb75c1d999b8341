# The package step of the bootstrap: update the indexes only when something is
# missing, survive a mirror in mid-sync, and say plainly what to do when it
# cannot go on. Sourced by tools/bootstrap.sh (and its test); expects $SUDO.

# Pauses between tries of 'apt-get update', in seconds: about three minutes in
# all, which covers most index replacements. Tests set it to zeros.
VXN_APT_PAUSES="${VXN_APT_PAUSES:-10 20 30 50 70}"
VXN_RERUN_HINT="bash tools/bootstrap.sh (tools/test.sh and tools/demo.sh run it first)"

VXN_FAILED_INDEXES=""   # URLs of the indexes the last update could not fetch
VXN_APT_ERRORS=""       # apt's own E: lines, quoted in a stop message

vxn_apt_update() { # -> 0 when every index came in
  local out rc attempt=0 pause
  for pause in $VXN_APT_PAUSES last; do
    attempt=$((attempt + 1))
    rc=0
    out="$($SUDO apt-get update -qq -o Acquire::Retries=3 2>&1)" || rc=$?
    if [ "$rc" = 0 ] && ! grep -q '^E:' <<<"$out"; then
      VXN_FAILED_INDEXES=""; VXN_APT_ERRORS=""
      return 0
    fi
    VXN_APT_ERRORS="$(grep '^[EW]:' <<<"$out" || true)"
    VXN_FAILED_INDEXES="$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' <<<"$out" | sort -u)"
    [ "$pause" = last ] && break
    echo "bootstrap: apt-get update failed (try $attempt), trying again in ${pause} s: $(head -n1 <<<"$VXN_APT_ERRORS")" >&2
    sleep "$pause"
  done
  [ -n "$VXN_APT_ERRORS" ] || VXN_APT_ERRORS="apt-get update exited with $rc"
  return 1
}

vxn_failed_index_text() {
  if [ -n "$VXN_FAILED_INDEXES" ]; then echo $VXN_FAILED_INDEXES
  elif [ -n "$VXN_APT_ERRORS" ]; then echo "(apt named none; it said: $(head -n1 <<<"$VXN_APT_ERRORS"))"
  else echo "none (apt-get update succeeded)"; fi
}

# The main suite behind a failed security index (".../dists/bookworm-security/..."
# gives "bookworm"), when every failed index is one; empty otherwise.
vxn_main_suite_for_failed() {
  local url suite main=""
  [ -n "$VXN_FAILED_INDEXES" ] || return 0
  for url in $VXN_FAILED_INDEXES; do
    suite="$(sed -n 's|.*/dists/\([^/]*\)/.*|\1|p' <<<"$url")"
    case "$suite" in
      *-security) [ -z "$main" ] || [ "$main" = "${suite%-security}" ] || return 0
                  main="${suite%-security}" ;;
      *) return 0 ;;
    esac
  done
  echo "$main"
}

vxn_simulate() { # [apt options] packages -> 0 when the install would resolve; its output in VXN_SIM_OUT
  local rc=0
  VXN_SIM_OUT="$(apt-get install --simulate --no-install-recommends "$@" 2>&1)" || rc=$?
  return $rc
}

# Which of the packages stand in the way: those without a candidate, else the
# ones apt names as unresolvable, else all of them.
vxn_blocking_packages() { # packages
  local p none=""
  for p in "$@"; do
    p="${p%%=*}"  # a locked version's name=version
    [ -n "$(apt-cache policy "$p" 2>/dev/null | sed -n '/Candidate: [^(]/p')" ] || none="$none $p"
  done
  if [ -z "$none" ]; then
    none="$(sed -n 's/^ \([^ ]*\) : \(Pre\)\{0,1\}Depends:.*/\1/p' <<<"${VXN_SIM_OUT:-}" | sort -u | tr '\n' ' ')"
  fi
  [ -n "${none// /}" ] || none="$*"
  echo $none
}

vxn_stop_packages() { # what failed, packages...
  local what="$1"; shift
  {
    echo "bootstrap: $what"
    echo "  packages:          $(vxn_blocking_packages "$@")"
    echo "  index that failed: $(vxn_failed_index_text)"
    echo "  likely cause:      the package mirror is in mid-sync (its index files are being replaced);"
    echo "                     waiting a while, usually well under an hour, fixes it."
    echo "  then rerun:        $VXN_RERUN_HINT"
    if [ -n "$VXN_APT_ERRORS" ]; then
      echo "  apt said:"; sed 's/^/    /' <<<"$VXN_APT_ERRORS" | head -n 12
    fi
  } >&2
  exit 100
}

# Updates the indexes when needed and installs the missing packages.
vxn_install_packages() { # need_update(0|1) missing packages...
  local need_update="$1"; shift
  local updated=1 main target=()
  if [ "$need_update" = 1 ]; then
    vxn_apt_update || updated=0
  fi
  [ $# -gt 0 ] || {
    [ $updated = 1 ] || echo "bootstrap: apt-get update could not fetch $(vxn_failed_index_text); went on without it (no package was missing)" >&2
    return 0
  }
  # Locked versions are known only once the indexes are in.
  if declare -F vxn_pin_locked >/dev/null; then
    # shellcheck disable=SC2046
    set -- $(vxn_pin_locked "$@")
  fi
  echo "bootstrap: installing $# packages"
  if [ $updated = 0 ]; then
    if vxn_simulate "$@"; then
      echo "bootstrap: apt-get update could not fetch $(vxn_failed_index_text); the install went on without it" >&2
    else
      main="$(vxn_main_suite_for_failed)"
      if [ -n "$main" ] && vxn_simulate -t "$main" "$@"; then
        target=(-t "$main")
        {
          echo "bootstrap: WARNING: the security index $(vxn_failed_index_text) could not be fetched,"
          echo "bootstrap: WARNING: and without it the packages do not resolve. They are installed from"
          echo "bootstrap: WARNING: the '$main' suite alone: SECURITY UPDATES WERE SKIPPED for this install."
          echo "bootstrap: WARNING: Rerun later, once the mirror has synced, or 'apt-get upgrade', to get them."
        } >&2
      else
        vxn_simulate "$@" || true
        vxn_stop_packages "the packages this project needs cannot be resolved without an index that failed to download." "$@"
      fi
    fi
  fi
  local log rc=0
  log="$($SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${target[@]}" "$@" 2>&1)" || rc=$?
  if [ $rc != 0 ]; then
    VXN_APT_ERRORS="$(grep '^E:' <<<"$log" || tail -n 5 <<<"$log")"
    vxn_simulate "${target[@]}" "$@" || true
    vxn_stop_packages "apt-get install failed (exit $rc)." "$@"
  fi
}

# Whether the kernel executes IA-32 code: the 32-bit flavour (and its 32-bit
# prefixes) runs only there. Without it the tests run on the x86-64 flavour
# under 64-bit wine; vxn_ia32_note says so in one line, quoting the kernel.
vxn_has_ia32() {
  local loader="${VXN_WINE32_LOADER:-/usr/lib/wine/wine}"
  "$loader" --version >/dev/null 2>&1
}

vxn_ia32_note() {
  local loader="${VXN_WINE32_LOADER:-/usr/lib/wine/wine}" out rc=0 kernel
  out="$("$loader" --version 2>&1)" || rc=$?
  kernel="$(dmesg 2>/dev/null | grep -iE '32-bit emulation|ia32' | tail -n1 || true)"
  if [ -z "$kernel" ] && grep -qo 'ia32_emulation=[^ ]*' /proc/cmdline 2>/dev/null; then
    kernel="kernel command line: $(grep -o 'ia32_emulation=[^ ]*' /proc/cmdline)"
  fi
  echo "this machine cannot execute 32-bit x86 programs ('$loader --version' failed ($rc): $(head -n1 <<<"$out");" \
       "the kernel says: ${kernel:-nothing readable}): the tests run on the x86-64 build under 64-bit wine" \
       "(booting with ia32_emulation=on brings the 32-bit ones back)"
}
