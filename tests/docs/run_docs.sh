#!/usr/bin/env bash
# The operator's docs as a test: runs every `console` block of the pages given
# (the rule for writing them is in docs/conventions.md, "Docs that run") with
# drawerctl, the printer emulator and reg in a Wine prefix of its own, and
# compares each command's output with the transcript under it, times, dates,
# addresses, port numbers, pointers and thread ids aside.
# Usage: run_docs.sh win32|win64 BIN_DIR PREFIX SOURCE_DIR PAGE...
set -uo pipefail
arch=$1 bin=$2 prefix=$3 src=$4
shift 4
. "$src/scripts/arch.sh"
work=$(mktemp -d)
unix_dir=""  # the installation folder, seen from here
failures=0 passed=0 emulator_pid=""
# Where the emulator listens in the docs; the runner's own emulator listens
# on a free port, put in its place in every command.
docs_printer='tcp:127.0.0.1:9100'
install_dir='C:\Program Files\Halyard'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OPOS_is1'
drawers_key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer'

cleanup() {
  exec 7>&- 2>/dev/null
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
die() { echo "docs: $*" >&2; exit 1; }

bash "$src/scripts/wine-prefix.sh" "$arch" "$prefix" || die "no Wine prefix at $prefix"
halyard_wine_env "$arch" "$prefix"
wineserver -p 2>/dev/null || true
halyard_wine cmd /c exit </dev/null >/dev/null 2>&1 || true

# An installation as the setup program leaves it: the server registered, the
# uninstall entry that tells the service object and drawerctl where the log
# goes, and logging on at the level a fault hunt uses.
set_up_installation() {
  local dir view
  dir=$(halyard_z_path "$bin/Halyard.dll")
  halyard_wine regsvr32 /s "$dir" </dev/null >/dev/null 2>&1 || die "regsvr32 $dir failed"
  for view in /reg:64 /reg:32; do
    halyard_wine reg add "$uninstall_key" /v UninstallString /d "$install_dir\\unins000.exe" /f $view \
      </dev/null >/dev/null 2>&1 || die "writing the uninstall entry ($view) failed"
  done
  unix_dir=$prefix/drive_c/$(printf '%s' "${install_dir#C:\\}" | tr '\\' /)
  mkdir -p "$unix_dir" || die "cannot make $unix_dir"
  rm -rf "$unix_dir/Cashlog"
  printf '[Cash_Log]\r\nlevel=Log_Level_Debug\r\nmode=Log_Mode_Rollback\r\n' >"$unix_dir/OPOSLog.ini"
}

start_emulator() {
  local i port=""
  mkfifo "$work/printer.in"
  "$WINELOADER" "$bin/printer-emulator.exe" --port 0 <"$work/printer.in" >"$work/printer.out" 2>&1 &
  emulator_pid=$!
  exec 7>"$work/printer.in"
  for i in $(seq 100); do
    port=$(sed -n 's/^listening [0-9.]*:\([0-9]*\).*/\1/p' "$work/printer.out" | tr -d '\r')
    [ -n "$port" ] && break
    sleep 0.2
  done
  [ -n "$port" ] || die "the printer emulator did not start: $(cat "$work/printer.out")"
  printer_port=tcp:127.0.0.1:$port
}

# A page starts with no drawers configured, an empty log, and a shut drawer
# on a printer that answers.
fresh_page() {
  local view
  rm -rf "$unix_dir/Cashlog"
  for view in /reg:64 /reg:32; do
    halyard_wine reg delete "$drawers_key" /f $view </dev/null >/dev/null 2>&1
  done
  printf 'close\nonline\nanswer\n' >&7
}

# The page's blocks as records, one a line, fields split by tabs:
#   R LINE COMMAND   a set-up command (<!-- run: COMMAND -->), output not compared
#   C LINE COMMAND   a command of a console block ("> COMMAND")
#   E LINE TEXT      a line of the transcript of the command before it
read_page() {
  awk '
    function strip(s) { sub(/\r$/, "", s); return s }
    { $0 = strip($0) }
    !inblock && /^[ \t]*<!-- run: .* -->[ \t]*$/ {
      c = $0; sub(/^[ \t]*<!-- run: /, "", c); sub(/ -->[ \t]*$/, "", c)
      print "R\t" NR "\t" c; next
    }
    !inblock && /^[ \t]*```console[ \t]*$/ {
      inblock = 1; indent = match($0, /[^ ]/) - 1; next
    }
    inblock && /^[ \t]*```[ \t]*$/ { inblock = 0; next }
    inblock {
      line = substr($0, indent + 1)
      if (line ~ /^> /) print "C\t" NR "\t" substr(line, 3)
      else print "E\t" NR "\t" line
    }
    END { if (inblock) { print "unclosed console block" > "/dev/stderr"; exit 1 } }
  ' "$1"
}

# One command of the docs, as an operator at a Windows console runs it.
last_rc=0
# Under load a Wine process now and then ends with a failure code before it
# has written a line (see cmake/wine-run.sh). drawerctl always writes
# something, so such a run is the launch failing: it is said on the test's own
# error stream, not in the compared transcript, and made once more.
exec 8>&2
run_drawerctl() {
  local out rc
  out=$(timeout 120 "$WINELOADER" "$bin/drawerctl.exe" "$@" </dev/null 2>&1) && rc=0 || rc=$?
  if [ "$rc" -ne 0 ] && [ -z "$out" ]; then
    echo "docs: drawerctl $* ended with code $rc without writing a line; running it once more" >&8
    out=$(timeout 120 "$WINELOADER" "$bin/drawerctl.exe" "$@" </dev/null 2>&1) && rc=0 || rc=$?
  fi
  [ -z "$out" ] || printf '%s\n' "$out"
  return "$rc"
}

run_command() {
  local line=${1//$docs_printer/$printer_port}
  local -a words
  if [ "$line" = 'echo %ERRORLEVEL%' ]; then
    echo "$last_rc"
    return 0
  fi
  eval "words=($line)" 2>/dev/null || { echo "docs: cannot split: $line"; return 127; }
  local name=${words[0]}
  case $name in
    drawerctl) run_drawerctl "${words[@]:1}" ;;
    printer-emulator) timeout 60 "$WINELOADER" "$bin/printer-emulator.exe" "${words[@]:1}" </dev/null 2>&1 ;;
    # Wine's reg says "reg: The operation completed successfully" where
    # Windows says "The operation completed successfully.".
    reg) timeout 60 "$WINELOADER" reg "${words[@]:1}" </dev/null 2>&1 |
           sed 's/^reg: The operation completed successfully\r\{0,1\}$/The operation completed successfully./' ;;
    find) timeout 60 "$WINELOADER" find "${words[@]:1}" </dev/null 2>&1 ;;
    # The emulator's console: a command on its standard input.
    printer) printf '%s\n' "${words[*]:1}" >&7; sleep 0.5 ;;
    *) echo "docs: no way to run '$name' here"; return 127 ;;
  esac
}

# Both sides of a comparison: what varies from run to run becomes one word,
# runs of blanks become one blank (columns widen with a longer address),
# blank lines go.
normalize() {
  sed -E -e 's/\r$//' \
    -e 's/[0-9]{4}-[0-9]{2}-[0-9]{2}/DATE/g' \
    -e 's/[0-9]{2}:[0-9]{2}:[0-9]{2}(\.[0-9]+)?/TIME/g' \
    -e 's/\[[0-9a-fA-F]*:[0-9a-fA-F:]*\]/ADDR/g' \
    -e 's/[0-9]{1,3}(\.[0-9]{1,3}){3}/ADDR/g' \
    -e 's/ADDR:[0-9]+/ADDR:PORT/g' \
    -e 's/0x[0-9a-fA-F]{6,}/PTR/g' \
    -e 's/\] \[[0-9]+\]/] [ID]/g' \
    -e 's/[[:space:]]+/ /g' -e 's/^ //' -e 's/ $//' -e '/^$/d'
}

# The transcript matches when every line is equal, a line "..." (or one
# starting "... ") standing for any number of lines and "..." inside a line
# for any text.
transcript_matches() {
  awk '
    function same(want, got,   rx) {
      if (want == got) return 1
      if (!index(want, "...")) return 0
      rx = want
      gsub(/[][\\^$.|?*+(){}]/, "\\\\&", rx)
      gsub(/\\\.\\\.\\\./, ".*", rx)
      return got ~ ("^" rx "$")
    }
    FILENAME == ARGV[1] { e[++ne] = $0; next }
    { a[++na] = $0 }
    END {
      for (i = ne + 1; i >= 1; i--)
        for (j = na + 1; j >= 1; j--) {
          if (i == ne + 1) m = (j == na + 1)
          else if (e[i] ~ /^\.\.\.( |$)/) m = dp[i + 1, j] || (j <= na && dp[i, j + 1])
          else m = (j <= na && same(e[i], a[j]) && dp[i + 1, j + 1])
          dp[i, j] = m
        }
      exit dp[1, 1] ? 0 : 1
    }' "$1" "$2"
}

pending=""  # "PAGE:LINE COMMAND" of the command whose transcript is being read
check_pending() {
  [ -n "$pending" ] || return 0
  normalize <"$work/expected.raw" >"$work/expected"
  normalize <"$work/actual.raw" >"$work/actual"
  if transcript_matches "$work/expected" "$work/actual"; then
    echo "ok   $pending"
    passed=$((passed + 1))
  else
    echo "FAIL $pending: the output differs from the transcript (- docs, + program, normalized):"
    diff -u "$work/expected" "$work/actual" | tail -n +3 | sed 's/^/     /'
    failures=$((failures + 1))
  fi
  pending=""
}

run_page() {
  local page=$1 kind at text
  fresh_page
  read_page "$src/$page" >"$work/records" || { echo "FAIL $page: cannot read its blocks"; failures=$((failures + 1)); return; }
  [ -s "$work/records" ] || { echo "FAIL $page: no console block"; failures=$((failures + 1)); return; }
  while IFS=$'\t' read -r kind at text; do
    case $kind in
      R)
        check_pending
        run_command "$text" >"$work/setup.out" 2>&1
        last_rc=$?
        if [ "$last_rc" -ne 0 ]; then
          echo "FAIL $page:$at set-up '$text' exited $last_rc: $(head -c 400 "$work/setup.out")"
          failures=$((failures + 1))
        fi
        ;;
      C)
        check_pending
        run_command "$text" >"$work/actual.raw" 2>&1
        last_rc=$?
        # The cashier pushes the drawer shut after every command.
        printf 'close\n' >&7
        : >"$work/expected.raw"
        pending="$page:$at $text"
        ;;
      E) printf '%s\n' "$text" >>"$work/expected.raw" ;;
    esac
  done <"$work/records"
  check_pending
}

set_up_installation
start_emulator
for page in "$@"; do run_page "$page"; done
echo "docs: $passed commands matched their transcripts, $failures failed"
[ "$failures" -eq 0 ] && [ "$passed" -gt 0 ]
