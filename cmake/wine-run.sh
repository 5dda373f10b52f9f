#!/usr/bin/env bash
# Runs a Windows program of this build under Wine in the build's own prefix,
# with the loader of the build's architecture.
# Usage: wine-run.sh win32|win64 PREFIX PROGRAM [ARGS...]
set -eu
arch=$1 prefix=$2; shift 2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../scripts/arch.sh"
bash "$here/../scripts/wine-prefix.sh" "$arch" "$prefix"
halyard_wine_env "$arch" "$prefix"
exec "$WINELOADER" "$@"
