#!/usr/bin/env bash
# Runs a Windows program of this build under Wine in the build's own prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
set -eu
prefix=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/../scripts/wine-prefix.sh" "$prefix"
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
exec wine "$@"
