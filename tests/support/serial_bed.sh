#!/usr/bin/env bash
# The serial test bed: pseudo-terminal pairs made by socat, their two ends
# linked into the Wine prefix as COM or LPT ports, for as long as one test
# program runs; nothing of it outlives the program.
#
# Usage: serial_bed.sh ARCH PREFIX PAIR... -- PROGRAM [ARGS...]
#   PAIR is two dosdevices names joined by a colon: com61:com62 makes COM61
#   and COM62 the two ends of one line; lpt61:com63 a parallel port whose
#   printer side is read as COM63.
#
# The program finds the bed's directory in HALYARD_SERIAL_BED (a Unix path;
# Z:<path> under Wine). Creating <bed>/<first end>.off switches that pair off
# as a printer switched off: socat ends, both pseudo-terminals vanish and
# every open end reads an error. Removing the file switches it on again with
# a new pair under the same names. Each test uses COM numbers of its own, so
# tests run side by side in one prefix.
set -u
arch=$1 prefix=$2; shift 2
pairs=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do pairs+=("$1"); shift; done
if [ $# -lt 2 ] || [ ${#pairs[@]} -eq 0 ]; then
  echo "serial_bed: usage: serial_bed.sh ARCH PREFIX PAIR... -- PROGRAM [ARGS...]" >&2
  exit 2
fi
shift
if ! command -v socat >/dev/null; then
  echo "serial_bed: socat is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/../../scripts/wine-prefix.sh" "$arch" "$prefix" || {
  echo "serial_bed: the Wine prefix $prefix could not be made" >&2
  exit 1
}
dos=$prefix/dosdevices
bed=$(mktemp -d "${TMPDIR:-/tmp}/serial-bed.XXXXXX")
export HALYARD_SERIAL_BED=$bed

declare -A socat_pid
start_pair() {
  local a=${1%%:*} b=${1##*:}
  rm -f "$dos/$a" "$dos/$b"
  socat pty,raw,echo=0,link="$dos/$a" pty,raw,echo=0,link="$dos/$b" 2>>"$bed/socat.log" &
  socat_pid[$1]=$!
}
stop_pair() {
  local pid=${socat_pid[$1]:-}
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  socat_pid[$1]=
}
# Until the bed is taken away: pairs whose .off file exists are off, all
# others are kept up (made again if socat ended by itself).
supervise() {
  while [ -d "$bed" ]; do
    for p in "${pairs[@]}"; do
      if [ -e "$bed/${p%%:*}.off" ]; then
        stop_pair "$p"
      elif [ -z "${socat_pid[$p]:-}" ] || ! kill -0 "${socat_pid[$p]}" 2>/dev/null; then
        start_pair "$p"
      fi
    done
    sleep 0.05
  done
  for p in "${pairs[@]}"; do stop_pair "$p"; done
}
links_ready() {
  local p
  for p in "${pairs[@]}"; do
    [ -e "$dos/${p%%:*}" ] && [ -e "$dos/${p##*:}" ] || return 1
  done
}

supervise &
supervisor=$!
finish() {
  rm -rf "$bed"
  wait "$supervisor" 2>/dev/null
}
trap finish EXIT
for _ in $(seq 100); do links_ready && break; sleep 0.05; done
if ! links_ready; then
  echo "serial_bed: the pseudo-terminal links did not appear in $dos" >&2
  cat "$bed/socat.log" >&2
  exit 1
fi
"$@"
