#!/usr/bin/env bash
# One fuzz target for longer than the test command runs it:
#   scripts/fuzz.sh TARGET SECONDS
# TARGET is one of the names in native/CMakeLists.txt (port_value,
# status_stream, ...). Builds the native tree if needed, runs the target from
# its seeds in tests/fuzz/corpus/TARGET with a working corpus in the build
# tree, and saves an input that breaks a property or trips a sanitizer into
# the seeds as crash-<sha1>: the test command then fails on it until the fault
# is fixed, and keeps it as a regression input after. Ends with the run's
# figures: executions, coverage, corpus and time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
halyard_name_failures fuzz

if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS" >&2
  exit 2
fi
target=$1 seconds=$2
dir=${HALYARD_NATIVE_DIR:-$root/build/native}
seeds=$root/tests/fuzz/corpus/$target
if [ ! -d "$seeds" ]; then
  echo "fuzz: no target '$target'; there are: $(ls "$root/tests/fuzz/corpus" | tr '\n' ' ')" >&2
  exit 2
fi

mkdir -p "$dir"
if [ ! -f "$dir/build.ninja" ]; then
  CXX=clang++ cmake -S "$root/native" -B "$dir" -G Ninja >"$dir/configure.log" 2>&1 || {
    echo "fuzz: configuring native/ failed:" >&2
    tail -n 20 "$dir/configure.log" >&2
    exit 1
  }
fi
cmake --build "$dir" -j2 --target "fuzz_$target" >/dev/null
work=$dir/fuzz_work/$target
mkdir -p "$work"
log=$dir/fuzz_work/$target.log

echo "fuzz: $target for $seconds s; log in $log"
rc=0
"$dir/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$seeds/" -print_final_stats=1 "$work" "$seeds" >"$log" 2>&1 || rc=$?

# The last status line carries the coverage; the final stats the executions.
last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
echo "fuzz: $target: ${runs:-?} executions in $seconds s;" \
     "cov $(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")" \
     "ft $(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")" \
     "corpus $(sed -n 's/.* corp: \([0-9/a-zA-Z]*\).*/\1/p' <<<"$last")"
if [ "$rc" -ne 0 ]; then
  echo "fuzz: $target found a fault (exit $rc); the input is in $seeds:" >&2
  grep -E 'property broken|ERROR: (Address|Undefined|libFuzzer)|runtime error|Test unit written' "$log" | head -n 5 >&2
  exit 1
fi
