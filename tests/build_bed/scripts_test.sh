#!/usr/bin/env bash
# The scripts' side of the test bed: the one answer to "which architectures
# run here" and its override, and a Wine prefix of the wrong architecture in
# a build folder made anew rather than reused.
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
wine cmd /c exit </dev/null >/dev/null 2>&1 && pass "a program runs in it" || fail "a program runs in it"
wineserver -k 2>/dev/null
rm -rf "$prefix" "$prefix.lock" "$prefix.boot.log"

if [ "$failures" -ne 0 ]; then echo "scripts_test: $failures check(s) failed"; exit 1; fi
echo "scripts_test: all checks passed"
