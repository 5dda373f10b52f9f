#!/usr/bin/env bash
# The scripts' side of the test bed: the one answer to "which architectures
# run here" and its override, a Wine prefix of the wrong architecture in a
# build folder made anew rather than reused, and no script, CMake file or
# test that calls one of Debian's Wine wrappers.
# Usage: scripts_test.sh win32|win64 SOURCE_DIR WORK_DIR
set -uo pipefail
arch=$1 src=$2 work=$3
. "$src/scripts/arch.sh"
other=$([ "$arch" = win64 ] && echo win32 || echo win64)
failures=0
pass() { echo "ok   $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# This suite runs under the loader of its own architecture, so the probe
# must count that architecture in.
runnable=$(HALYARD_ARCHS= halyard_runnable_archs)
[[ " $runnable " == *" $arch "* ]] && pass "the probe counts $arch in ($runnable)" \
                                   || fail "the probe counts $arch in (got '$runnable')"

# The override takes an architecture out and says so.
why=$(HALYARD_ARCHS=$arch halyard_cannot_run "$other")
[[ $why == *HALYARD_ARCHS* ]] && pass "HALYARD_ARCHS=$arch leaves $other out: $why" \
                              || fail "HALYARD_ARCHS=$arch leaves $other out (got '$why')"
only=$(HALYARD_ARCHS=$arch halyard_runnable_archs)
[ "$only" = "$arch" ] && pass "HALYARD_ARCHS=$arch: only $arch runs" \
                      || fail "HALYARD_ARCHS=$arch: only $arch runs (got '$only')"
why=$(halyard_cannot_run win16)
[ -n "$why" ] && pass "an unknown architecture never runs" || fail "an unknown architecture never runs"

# A prefix left by a build of the other architecture, marked ready.
prefix=$work/wrong-arch-prefix
rm -rf "$prefix" "$prefix.lock"
mkdir -p "$prefix"
printf 'WINE REGISTRY Version 2\n#arch=%s\n' "$other" >"$prefix/system.reg"
touch "$prefix/.halyard-ready" "$prefix/left-by-the-other-build"
out=$(bash "$src/scripts/wine-prefix.sh" "$arch" "$prefix" 2>&1); rc=$?
[ "$rc" -eq 0 ] && pass "wine-prefix.sh remakes it (exit 0)" || fail "wine-prefix.sh remakes it (exit $rc): $out"
[[ $out == *"$other prefix"* ]] && pass "and says so: $out" || fail "and says so (got '$out')"
made=$(grep -m1 '^#arch=' "$prefix/system.reg" 2>/dev/null | tr -d '\r')
[ "$made" = "#arch=$arch" ] && pass "the new prefix is $arch" || fail "the new prefix is $arch (got '$made')"
[ ! -e "$prefix/left-by-the-other-build" ] && pass "nothing of the old prefix is left" \
                                            || fail "nothing of the old prefix is left"
halyard_wine_env "$arch" "$prefix"
halyard_wine cmd /c exit </dev/null >/dev/null 2>&1 && pass "a program runs in it" || fail "a program runs in it"
converted=$(halyard_winepath -w "$work" 2>&1)
[ "$converted" = "$(halyard_z_path "$work")" ] && pass "winepath runs through the loader: $converted" \
                                               || fail "winepath runs through the loader (got '$converted')"
wineserver -k 2>/dev/null
rm -rf "$prefix" "$prefix.lock" "$prefix.boot.log"

# The wrapper-call finder finds exactly the calls of its sample lines ...
finder=$src/tests/build_bed/wrapper_calls.sh
sample=$src/tests/build_bed/fixtures/wrapper_calls.txt
want=$(grep -n '# call$' "$sample" | cut -d: -f1 | tr '\n' ' ')
got=$(bash "$finder" --files "$sample" | sed -n 's/^[^:]*:\([0-9]*\): .*/\1/p' | tr '\n' ' ')
[ -n "$want" ] && [ "$got" = "$want" ] && pass "the wrapper-call finder finds the sample's calls (lines $want)" \
                                       || fail "the wrapper-call finder finds the sample's calls (want lines $want, got $got)"
# ... and none in the tree: every Wine program runs through its loader.
calls=$(bash "$finder" "$src" 2>&1); rc=$?
if [ "$rc" -eq 0 ]; then
  pass "no script, CMake file or test calls a Debian Wine wrapper"
else
  fail "these call a Debian Wine wrapper (it picks the 32-bit loader whenever wine32:i386 is installed); run the program with halyard_wine of scripts/arch.sh:"
  printf '%s\n' "$calls" | sed 's/^/     /'
fi

# A conversion that fails says why and gives no path.
out=$(WINELOADER=false halyard_winepath -w /tmp 2>&1); rc=$?
[ "$rc" -ne 0 ] && [[ $out == *"winepath -w '/tmp' failed"* ]] \
  && pass "a failed winepath fails with its reason: $out" \
  || fail "a failed winepath fails with its reason (exit $rc, got '$out')"

if [ "$failures" -ne 0 ]; then echo "scripts_test: $failures check(s) failed"; exit 1; fi
echo "scripts_test: all checks passed"
