#!/usr/bin/env bash
# HalyardSetup.exe end to end in a Wine prefix of its own.
# Usage: installer_test.sh BIN_DIR PREFIX SOURCE_DIR
set -uo pipefail
bin=$1 prefix=$2 src=$3
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
install_win='C:\HalyardInstallerTest'
install_unix=$prefix/drive_c/HalyardInstallerTest
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OPOS_is1'
cashdrawer_key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer'
work=$(mktemp -d)
failures=0
emulator_pid=""

pass() { echo "ok   $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@" >/dev/null 2>&1; then pass "$what"; else fail "$what"; fi; }
check_not() { local what=$1; shift; if "$@" >/dev/null 2>&1; then fail "$what"; else pass "$what"; fi; }
reg_has() { wine reg query "$@" </dev/null; }

cleanup() {
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

bash "$src/scripts/wine-prefix.sh" "$prefix" || { echo "FAIL no Wine prefix"; exit 1; }
# A server of its own, kept for the whole run, with its output away from
# ctest's pipe.
wineserver -p >/dev/null 2>&1 </dev/null
wine cmd /c exit >/dev/null 2>&1 </dev/null

# The sweep and the uninstaller's own removal may only touch the package's
# entries: the parts of the machine registry they work in, before and after.
snapshot() {
  local out=$1
  : >"$out"
  for key in 'HKLM\SOFTWARE\OLEforRetail' 'HKLM\SOFTWARE\QELM' "$uninstall_key" \
             'HKLM\SOFTWARE\Classes\SOTarvoCash.SOTvCash' 'HKLM\SOFTWARE\Classes\SOTarvoCash.SOTvCash.1'; do
    wine reg query "$key" /s </dev/null 2>/dev/null | tr -d '\r' >>"$out"
  done
}

# A leftover of an earlier, interrupted run would make the comparison lie.
if reg_has "$uninstall_key" >/dev/null 2>&1; then
  wine "$install_win\\uninstall.exe" /S </dev/null
  for _ in $(seq 1 100); do reg_has "$uninstall_key" >/dev/null 2>&1 || break; sleep 0.3; done
fi

# Another vendor's drawer, which the uninstaller must leave alone.
wine reg add "$cashdrawer_key\\OtherVendor-Till1" /ve /d Other.CashDrawer /f >/dev/null </dev/null
snapshot "$work/before"

# ---- silent install with a first device ------------------------------------
# The drawer sits on the emulator's port, which is known only after the
# emulator runs from the installed folder: install first with a placeholder
# port, then point the device at the emulator with drawerctl.
wine "$bin/HalyardSetup.exe" /S /DEVICE=KX8-InstallerTest /PORT=tcp:127.0.0.1:1 /PIN=2 \
     /SENSOR=high-open "/D=$install_win" </dev/null
rc=$?
[ "$rc" -eq 0 ] && pass "silent install exits 0" || fail "silent install exits 0 (got $rc)"
for f in Halyard.dll Ferrule.dll Quire.dll Scrubber.exe drawerctl.exe printer-emulator.exe \
         OPOSLog.ini uninstall.exe; do
  check "installed $f" test -f "$install_unix/$f"
done
check "uninstall entry names the uninstaller in the installation folder" \
  bash -c "wine reg query '$uninstall_key' /v UninstallString </dev/null | grep -qF '\"$install_win\\uninstall.exe\"'"
check "the COM server is registered under its ProgID" reg_has 'HKCR\SOTarvoCash.SOTvCash\CLSID'
check "version key for the cleaner" reg_has 'HKLM\SOFTWARE\QELM\TVOPOS\2.30.000'
check "service entry with the cleaner's marker" \
  bash -c "wine reg query 'HKLM\\SOFTWARE\\OLEforRetail\\ServiceInfo' </dev/null | grep -q Tarvo"
check "the first device is configured" \
  bash -c "wine reg query '$cashdrawer_key\\KX8-InstallerTest' /v Port </dev/null | grep -q tcp:127.0.0.1:1"

# ---- installing again over it ------------------------------------------------
echo '; kept by the integrator' >>"$install_unix/OPOSLog.ini"
wine "$bin/HalyardSetup.exe" /S "/D=$install_win" </dev/null
rc=$?
[ "$rc" -eq 0 ] && pass "a second install over the first exits 0" \
                || fail "a second install over the first exits 0 (got $rc)"
check "the integrator's OPOSLog.ini survives a reinstall" \
  grep -q 'kept by the integrator' "$install_unix/OPOSLog.ini"
check "the configured drawer survives a reinstall" reg_has "$cashdrawer_key\\KX8-InstallerTest"

# ---- the installed product at work ------------------------------------------
emulator_out=$work/emulator.log
wine "$install_unix/printer-emulator.exe" --port 0 --sensor high-when-open --auto-close 1500 \
     --no-stdin >"$emulator_out" 2>&1 </dev/null &
emulator_pid=$!
port=""
for _ in $(seq 1 150); do
  port=$(sed -n 's/.*listening 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' "$emulator_out" | head -n 1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] && pass "installed printer emulator listens" || fail "installed printer emulator listens"

drawerctl() { wine "$install_unix/drawerctl.exe" "$@" </dev/null; }
check "drawerctl points the device at the emulator" \
  drawerctl add KX8-InstallerTest --port "tcp:127.0.0.1:$port" --sensor high-open --replace
out=$(drawerctl open KX8-InstallerTest 2>&1); rc=$?
echo "$out" | sed 's/^/     | /'
[ "$rc" -eq 0 ] && pass "drawerctl open exits 0" || fail "drawerctl open exits 0 (got $rc)"
check "the drawer opened" grep -q "result: the drawer opened" <<<"$out"
log=$install_unix/Cashlog/CashRollback.log
check "the service object logs into the installation folder's Cashlog" test -s "$log"
check "the log holds the opening of this device" grep -q 'Cash.OpenService("CashDrawer","KX8-InstallerTest"' "$log"

# A drawer added later under a name the cleaner does not know: the
# uninstaller still removes it, as it is served by this package.
check "drawerctl adds a second drawer" drawerctl add FrontTill --port COM1
# A marker value only the cleaner removes (the uninstaller does not know it).
wine reg add 'HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter' /v LeftByKX8Tool /d 'KX8 printer' \
     /f >/dev/null </dev/null
kill "$emulator_pid" 2>/dev/null; emulator_pid=""

# ---- silent uninstall --------------------------------------------------------
# The uninstaller runs from a copy in the temporary folder: wait for its end.
wine "$install_win\\uninstall.exe" /S </dev/null
gone=0
for _ in $(seq 1 200); do
  if ! reg_has "$uninstall_key" >/dev/null 2>&1 && [ ! -e "$install_unix" ]; then gone=1; break; fi
  sleep 0.3
done
[ "$gone" -eq 1 ] && pass "uninstall removes its entry and the installation folder" \
                  || fail "uninstall removes its entry and the installation folder"
check_not "the cleaner ran (its KX8 marker value is gone)" \
  bash -c "wine reg query 'HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter' /v LeftByKX8Tool </dev/null"
check_not "the COM server is unregistered" reg_has 'HKCR\SOTarvoCash.SOTvCash'
check_not "drawers of this package are gone" reg_has "$cashdrawer_key\\FrontTill"
snapshot "$work/after"
if diff -u "$work/before" "$work/after" >"$work/diff"; then
  pass "the registry is as it was before the install (another vendor's drawer kept)"
else
  fail "the registry is as it was before the install"
  sed 's/^/     | /' "$work/diff"
fi
wine reg delete "$cashdrawer_key\\OtherVendor-Till1" /f >/dev/null 2>&1 </dev/null

# An option the installer does not know how to honour stops it before it
# touches anything.
for bad in "/PORT=COM1 /PIN=3" "/PORT=COM1 /SENSOR=open" "/PORT=USB1" "/DEVICE=KX8-Bad" \
           '/DEVICE=KX8\Bad /PORT=COM1'; do
  # shellcheck disable=SC2086
  wine "$bin/HalyardSetup.exe" /S $bad "/D=$install_win" </dev/null
  rc=$?
  [ "$rc" -eq 2 ] && pass "$bad stops the install with exit code 2" \
                  || fail "$bad stops the install with exit code 2 (got $rc)"
done
check_not "nothing was installed after the bad options" test -e "$install_unix"
check_not "no uninstall entry after the bad options" reg_has "$uninstall_key"

if [ "$failures" -ne 0 ]; then echo "installer_test: $failures check(s) failed"; exit 1; fi
echo "installer_test: all checks passed"
