#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, prepares the Wine
# prefix and runs every test through ctest. Extra arguments go to ctest
# (for example -R quire or -L scripted).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${HALYARD_BUILD_DIR:-$root/build}

bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

prefix=$build/wineprefix
bash "$root/scripts/wine-prefix.sh" "$prefix"
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
# Wine's helper processes inherit ctest's output pipe; a persistent server
# started up front keeps ctest from waiting on it after every test.
wineserver -p 2>/dev/null || true  # already running in this prefix is fine
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

ctest --test-dir "$build" --output-on-failure -j4 --timeout 600 "$@"
