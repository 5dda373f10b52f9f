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

# Under a loaded machine, a Wine process now and then ends at once with a
# failure code before the program has written a line (seen a few times in
# hundreds of runs, cause not found). Every program here writes something
# when it runs, so such a run is the launch failing, not the test: it is
# said, with its code and time, and the program is run once more. A run that
# wrote anything keeps its result.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
run_once() {
  set +e
  "$WINELOADER" "$@" 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  set -e
}
started=$(date +%s%N)
run_once "$@"
if [ "$rc" -ne 0 ] && [ ! -s "$out" ]; then
  ms=$(( ($(date +%s%N) - started) / 1000000 ))
  echo "wine-run: $(basename "$1") ended with code $rc after $ms ms without writing a line;" \
       "running it once more"
  run_once "$@"
fi
exit "$rc"
