#!/usr/bin/env bash
# Creates a headless Wine prefix of one architecture once: null graphics
# driver, no crash dialog (a crashing test must fail, not wait for a click).
# A prefix of the other architecture at the same place is made anew, never
# reused. Safe to call from several processes at once; quick when the prefix
# is ready.
# Usage: wine-prefix.sh win32|win64 PREFIX
set -eu
arch=${1:?usage: wine-prefix.sh win32|win64 PREFIX}
prefix=${2:?usage: wine-prefix.sh win32|win64 PREFIX}
. "$(dirname "$0")/arch.sh"

# What wineboot wrote into the prefix: "#arch=win32" or "#arch=win64".
prefix_arch() { grep -m1 '^#arch=' "$prefix/system.reg" 2>/dev/null | tr -d '\r' | cut -d= -f2; }
ready() { [ -f "$prefix/.halyard-ready" ] && [ "$(prefix_arch)" = "$arch" ]; }

ready && exit 0
why=$(halyard_cannot_run "$arch")
if [ -n "$why" ]; then
  echo "wine-prefix: cannot make a $arch prefix here: $why" >&2
  exit 1
fi
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
ready && exit 0
halyard_wine_env "$arch" "$prefix"
found=$(prefix_arch)
if [ -n "$found" ] && [ "$found" != "$arch" ]; then
  echo "wine-prefix: $prefix is a $found prefix; making it anew as $arch" >&2
  wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
elif [ -d "$prefix" ] && [ ! -f "$prefix/.halyard-ready" ]; then
  # Left half made by an interrupted run.
  wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
fi
log=$prefix.boot.log
if ! WINEDLLOVERRIDES="mscoree,mshtml=" halyard_wine wineboot -i >"$log" 2>&1 </dev/null; then
  echo "wine-prefix: wineboot could not make the $arch prefix $prefix:" >&2
  tail -n 20 "$log" >&2
  exit 1
fi
wineserver -w
halyard_wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
halyard_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null
wineserver -w
if [ "$(prefix_arch)" != "$arch" ]; then
  echo "wine-prefix: wineboot left $prefix without a $arch registry (see $log)" >&2
  exit 1
fi
touch "$prefix/.halyard-ready"
