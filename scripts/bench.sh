#!/usr/bin/env bash
# The benchmarks: builds, runs every benchmark program under Wine, prints a
# table and writes the same figures as JSON to <build>/bench.json.
# Not part of the test suite: figures depend on the machine and its load.
#
#   bash scripts/bench.sh              # all benchmarks
#   bash scripts/bench.sh quire idle   # only those whose program name contains a word
#   BENCH_QUICK=1 bash scripts/bench.sh  # fewer samples, for a try-out
#   BENCH_SECTIONS="idle failed" bash scripts/bench.sh service  # some parts of a program
# The architecture is the first one this host runs (32-bit before 64-bit);
# HALYARD_ARCHS=win64 picks the 64-bit product where both run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
halyard_name_failures bench

bash "$root/scripts/setup.sh"
# spdlog is a baseline of the log throughput benchmark, header-only.
for p in libspdlog-dev libfmt-dev; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
      libspdlog-dev libfmt-dev >/dev/null || echo "bench: spdlog baseline unavailable" >&2
    break
  fi
done

arch=$(halyard_runnable_archs | cut -d' ' -f1)
if [ -z "$arch" ]; then
  echo "bench: this host runs no Windows programs under Wine" >&2
  exit 1
fi
build=$(halyard_build_dir "${HALYARD_BUILD_DIR:-$root/build}" "$arch")
echo "bench: the $(halyard_bits "$arch") product ($arch), built in $build" >&2
halyard_build "$root" "$arch" "$build" >/dev/null

prefix=$build/wineprefix
bash "$root/scripts/wine-prefix.sh" "$arch" "$prefix"
halyard_wine_env "$arch" "$prefix"
wineserver -p
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true' EXIT
halyard_wine cmd /c exit </dev/null >/dev/null 2>&1 || true

# Benchmarks that need the service object registered (and the printer
# emulator, which they start themselves on loopback) find it through COM.
if [ -f "$build/bin/Halyard.dll" ]; then
  (cd "$build/bin" && halyard_wine regsvr32 /s Halyard.dll </dev/null >/dev/null 2>&1) || true
fi

quick=()
[ -n "${BENCH_QUICK:-}" ] && quick=(--quick)
read -r -a sections <<<"${BENCH_SECTIONS:-}"

raw=$build/bench.raw
: >"$raw"
# One program at a time: each measures time, and they must not share the cores.
for exe in "$build"/bin/bench_*.exe; do
  [ -e "$exe" ] || continue
  name=$(basename "$exe" .exe)
  if [ $# -gt 0 ]; then
    keep=0
    for w in "$@"; do [[ $name == *"$w"* ]] && keep=1; done
    [ $keep -eq 1 ] || continue
  fi
  echo "== $name" >&2
  status=0
  (cd "$(dirname "$exe")" && halyard_wine "$exe" "${quick[@]}" "${sections[@]}" </dev/null 2>&1) | tr -d '\r' |
    tee -a "$raw" | { grep -v '^BENCH ' >&2 || true; } || status=$?
  [ $status -eq 0 ] || echo "bench: $name exited with $status" >&2
done

machine_cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
grep '^BENCH ' "$raw" | sed 's/^BENCH //' |
  jq -s --arg cpu "$machine_cpu" --arg nproc "$(nproc)" --arg wine "$(halyard_wine --version) $arch" \
        --arg date "$(date -u +%Y-%m-%dT%H:%M:%SZ)" \
     '{machine: {cpu: $cpu, nproc: ($nproc|tonumber), wine: $wine, date: $date}, figures: .}' \
     >"$build/bench.json"

jq -r '"machine: \(.machine.cpu), \(.machine.nproc) cores, \(.machine.wine)"' "$build/bench.json"
jq -r '(.figures[] | [.bench, .name, (if .value == null then "-" else (.value*1000|round/1000|tostring) end), .unit, .target] | @tsv)' \
   "$build/bench.json" | column -t -s $'\t'
echo "figures written to $build/bench.json" >&2
