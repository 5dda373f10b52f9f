#!/usr/bin/env bash
# Installs what the cross build and the Wine test bed need on Debian 12: both
# compilers (the 32-bit and the 64-bit tree are built everywhere) and both
# Wine loaders (the 32-bit one is of use only where the kernel runs 32-bit
# code; scripts/arch.sh finds that out), and for the native build of the
# parsers clang with its sanitizer and libFuzzer runtime and GoogleTest's
# host libraries.
# Idempotent: says nothing and changes nothing when everything is already there.
# wine32:i386 is tried again on every run while it is missing, for a minute
# at most, so that a machine where it once failed meets what a new one meets.
set -euo pipefail

need_pkgs=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools libwine-dev
           wine wine64 cmake ninja-build googletest nsis socat)
need_pkgs+=(clang libclang-rt-14-dev libgtest-dev)
# Only of use where the kernel runs 32-bit code, and the first to fail when a
# mirror's i386 lists lag behind its amd64 ones: tried on its own, and a host
# without it runs the 64-bit suite (scripts/arch.sh says why the other is skipped).
optional_pkgs=(wine32:i386)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for p in "${need_pkgs[@]}"; do installed "$p" || missing+=("$p"); done
missing_optional=()
for p in "${optional_pkgs[@]}"; do installed "$p" || missing_optional+=("$p"); done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0
optional_seconds=${HALYARD_SETUP_OPTIONAL_SECONDS:-60}

if ! command -v apt-get >/dev/null; then
  echo "setup: missing packages ${missing[*]} ${missing_optional[*]}, and there is no apt-get to install them (Debian 12 expected)" >&2
  exit 1
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "setup: missing packages ${missing[*]} ${missing_optional[*]}; run this as root or install sudo" >&2
    exit 1
  fi
  SUDO="sudo"
fi
[ ${#missing[@]} -eq 0 ] || echo "setup: installing ${missing[*]}" >&2
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Each step names itself when it fails, with apt's own last words.
run_step() {
  local what=$1; shift
  if ! "$@" >"$log" 2>&1; then
    echo "setup: $what failed:" >&2
    tail -n 20 "$log" >&2
    echo "setup: packages still missing: ${missing[*]}" >&2
    exit 1
  fi
}
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  run_step "adding the i386 architecture (for wine32:i386)" $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# Another setup (a second test run, a colleague's) may hold dpkg's lock: wait
# for it rather than give up at once.
lock_wait() { echo "-o DPkg::Lock::Timeout=$1"; }
# A mirror in the middle of a sync fails one list or two ("File has unexpected
# size"); apt keeps the rest, so after a few tries the install goes ahead and
# says for itself whether anything it needs is missing.
lists_fresh=0
update_lists() {
  local try
  lists_fresh=1
  for try in 1 2 3; do
    $SUDO apt-get $(lock_wait 300) update -qq >"$log" 2>&1 && return 0
    sleep $((try * 5))
  done
  echo "setup: apt-get update left some package lists out; going on with the rest:" >&2
  grep -E '^(E|W):' "$log" | head -n 3 >&2
}
if [ ${#missing[@]} -gt 0 ]; then
  update_lists
  run_step "apt-get install" $SUDO apt-get $(lock_wait 300) install -y -qq --no-install-recommends "${missing[@]}"
fi

# The optional packages within a bound: the download (with fresh lists when
# the ones at hand do not lead to it) may take what is left of it; the
# install from the downloaded files is never cut short, so dpkg is never
# stopped half way.
deadline=$((SECONDS + optional_seconds))
left() { local s=$((deadline - SECONDS)); [ "$s" -gt 0 ] && echo "$s" || echo 1; }
# Why apt refused, in one line: its first error, or the bound it ran into.
apt_reason() {
  if [ "$1" -eq 124 ]; then echo "no answer within ${optional_seconds} s"
  else grep -m1 -E '^E:|Depends|Unable' "$log" | sed 's/^ *//' | cut -c1-200
  fi
}
download_optional() {
  timeout "$(left)" $SUDO apt-get $(lock_wait "$(left)") install -y -qq --no-install-recommends --download-only \
    "${missing_optional[@]}" >"$log" 2>&1
}
if [ ${#missing_optional[@]} -gt 0 ]; then
  rc=0
  download_optional || rc=$?
  if [ "$rc" -ne 0 ] && [ "$lists_fresh" -eq 0 ] && [ $((deadline - SECONDS)) -gt 5 ]; then
    timeout "$(left)" $SUDO apt-get $(lock_wait "$(left)") update -qq >"$log" 2>&1 || true
    rc=0
    download_optional || rc=$?
  fi
  if [ "$rc" -eq 0 ] &&
     $SUDO apt-get $(lock_wait 300) install -y -qq --no-install-recommends --no-download "${missing_optional[@]}" >"$log" 2>&1; then
    echo "setup: installed ${missing_optional[*]}" >&2
  else
    [ "$rc" -ne 0 ] || rc=1
    echo "setup: ${missing_optional[*]} could not be installed ($(apt_reason "$rc")); this host will run the 64-bit suite only, and the next run tries again" >&2
  fi
fi
echo "setup: done" >&2
