#!/usr/bin/env bash
# Installs what the cross build and the Wine test bed need on Debian 12: both
# compilers (the 32-bit and the 64-bit tree are built everywhere) and both
# Wine loaders (the 32-bit one is of use only where the kernel runs 32-bit
# code; scripts/arch.sh finds that out), and for the native build of the
# parsers clang with its sanitizer and libFuzzer runtime and GoogleTest's
# host libraries.
# Idempotent: says nothing and changes nothing when everything is already there.
set -euo pipefail

need_pkgs=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools libwine-dev
           wine wine32:i386 wine64 cmake ninja-build googletest nsis socat)
need_pkgs+=(clang libclang-rt-14-dev libgtest-dev)

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if ! command -v apt-get >/dev/null; then
  echo "setup: missing packages ${missing[*]}, and there is no apt-get to install them (Debian 12 expected)" >&2
  exit 1
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "setup: missing packages ${missing[*]}; run this as root or install sudo" >&2
    exit 1
  fi
  SUDO="sudo"
fi
echo "setup: installing ${missing[*]}" >&2
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
run_step "apt-get update" $SUDO apt-get update -qq
run_step "apt-get install" $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup: done" >&2
