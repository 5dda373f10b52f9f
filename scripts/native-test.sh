#!/usr/bin/env bash
# The platform-neutral parsers on this host, under AddressSanitizer and
# UndefinedBehaviorSanitizer: builds native/ with clang into BUILD_DIR
# (build/native by default) and runs its ctest, the unit tests and every fuzz
# target over its seeds and for a short random run. Writes the JUnit report
# BUILD_DIR/ctest-junit.xml; fails when any test fails. Extra arguments go to
# ctest. Nothing here depends on the Windows architecture, so arch.sh is
# needed only for the failure report.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
halyard_name_failures native-test
dir=${1:-$root/build/native}
[ $# -gt 0 ] && shift

for tool in clang++ cmake ninja; do
  if ! command -v "$tool" >/dev/null; then
    echo "native-test: $tool is missing; scripts/setup.sh installs it" >&2
    exit 1
  fi
done
echo "== native build ($dir)"
# The build shares the host with the cross builds: two jobs at most.
mkdir -p "$dir"
CXX=clang++ cmake -S "$root/native" -B "$dir" -G Ninja >"$dir/configure.log" 2>&1 || {
  echo "native-test: configuring native/ failed:" >&2
  tail -n 20 "$dir/configure.log" >&2
  exit 1
}
cmake --build "$dir" -j2
echo "== native suite (sanitizers, fuzz targets)"
report=$dir/ctest-junit.xml
rm -f "$report"
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 120 --output-junit "$report" "$@"
