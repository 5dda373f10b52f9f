#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the 32-bit and the
# 64-bit tree (both cross-compile anywhere; the 64-bit setup program carries
# the 32-bit service object), then runs every test through ctest once for
# each architecture this host can run, each in its own Wine prefix, and last
# the platform-neutral parsers natively under the sanitizers with their fuzz
# targets (scripts/native-test.sh). Says which architecture it skipped and
# why; fails when any test fails or when it ran none. Extra arguments go to
# each ctest (for example -R quire).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
halyard_name_failures test
build_root=${HALYARD_BUILD_DIR:-$root/build}
started=$(date +%s)

bash "$root/scripts/setup.sh"

runnable=$(halyard_runnable_archs)
if [ -z "$runnable" ]; then
  echo "test: this host runs no Windows programs under Wine:" >&2
  for arch in $HALYARD_ALL_ARCHS; do echo "  $arch: $(halyard_cannot_run "$arch")" >&2; done
  exit 1
fi

win32_dir=$(halyard_build_dir "$build_root" win32)
win64_dir=$(halyard_build_dir "$build_root" win64)
echo "== building the 32-bit tree ($win32_dir)"
halyard_build "$root" win32 "$win32_dir"
echo "== building the 64-bit tree ($win64_dir)"
halyard_build "$root" win64 "$win64_dir" -DHALYARD_X86_BIN_DIR="$win32_dir/bin"

current_prefix=""
stop_wineserver() {
  if [ -n "$current_prefix" ]; then
    WINEPREFIX=$current_prefix wineserver -k 2>/dev/null || true
  fi
  current_prefix=""
}
trap stop_wineserver EXIT

# Counts of one ctest run, read from its JUnit report: "total failed skipped".
junit_counts() {
  tr '\n\t' '  ' <"$1" |
    sed -n 's/.*<testsuite [^>]*tests="\([0-9]*\)"[^>]*failures="\([0-9]*\)"[^>]*skipped="\([0-9]*\)".*/\1 \2 \3/p'
}

passed_all=0 failed_all=0 status=0 summary=()
# Adds one ctest run to the totals: count_run LABEL REPORT EXIT_CODE MIN_PASSED.
# A run that failed without a failing test in its report (ctest itself, no
# tests at all) still counts as one failure.
count_run() {
  local label=$1 report=$2 rc=$3 least=$4 total=0 failed=0 skipped=0 passed
  [ -f "$report" ] && read -r total failed skipped < <(junit_counts "$report") || true
  total=${total:-0} failed=${failed:-0} skipped=${skipped:-0}
  passed=$((total - failed - skipped))
  if [ "$rc" -ne 0 ] || [ "$passed" -lt "$least" ]; then
    status=1
    [ "$failed" -eq 0 ] && failed=1
  fi
  passed_all=$((passed_all + passed)) failed_all=$((failed_all + failed))
  summary+=("$label: $passed passed, $failed failed, $skipped skipped")
}

for arch in $HALYARD_ALL_ARCHS; do
  why=$(halyard_cannot_run "$arch")
  if [ -n "$why" ]; then
    echo "test: $(halyard_bits "$arch") suite ($arch) skipped: $why"
    summary+=("$arch: skipped ($why)")
    continue
  fi
  dir=$(halyard_build_dir "$build_root" "$arch")
  prefix=$dir/wineprefix
  echo "== $(halyard_bits "$arch") suite ($arch) in $prefix"
  bash "$root/scripts/wine-prefix.sh" "$arch" "$prefix"
  halyard_wine_env "$arch" "$prefix"
  # Wine's helper processes inherit ctest's output pipe; a persistent server
  # started up front keeps ctest from waiting on it after every test.
  current_prefix=$prefix
  wineserver -p 2>/dev/null || true  # already running in this prefix is fine
  halyard_wine cmd /c exit </dev/null >/dev/null 2>&1 || true

  report=$dir/ctest-junit.xml
  rm -f "$report"
  rc=0
  # Under load, Wine now and then leaves a test program hanging at process
  # exit after every case has passed; such a test runs once more, and one
  # that times out twice still fails (its first output stays in the log).
  ctest --test-dir "$dir" --output-on-failure -j4 --timeout 600 --no-tests=error \
        --repeat after-timeout:2 \
        --output-junit "$report" "$@" || rc=$?
  stop_wineserver
  count_run "$arch" "$report" "$rc" 1
done

# The native suite holds a part of the tests only: a filter that leaves it
# nothing to run is not a failure of its own.
rc=0
bash "$root/scripts/native-test.sh" "$build_root/native" "$@" || rc=$?
count_run "native (sanitizers, fuzzing)" "$build_root/native/ctest-junit.xml" "$rc" 0

echo "== test summary ($(( $(date +%s) - started )) s)"
for line in "${summary[@]}"; do echo "  $line"; done
echo "total: $passed_all passed, $failed_all failed"
exit "$status"
