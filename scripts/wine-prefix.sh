#!/usr/bin/env bash
# Creates a headless 32-bit Wine prefix once: null graphics driver, no crash
# dialog (a crashing test must fail, not wait for a click). Safe to call from
# several processes at once; quick when the prefix is ready.
set -eu
prefix=${1:?usage: wine-prefix.sh PREFIX}
[ -f "$prefix/.halyard-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.halyard-ready" ] && exit 0
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null
wineserver -w
touch "$prefix/.halyard-ready"
