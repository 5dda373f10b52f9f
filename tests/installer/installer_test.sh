#!/usr/bin/env bash
# The setup program end to end in a Wine prefix of its own: the 32-bit one in
# a 32-bit prefix, the 64-bit one (both service objects, both registry views)
# in a 64-bit prefix.
# Usage: installer_test.sh win32|win64 SETUP_EXE PREFIX SOURCE_DIR
set -uo pipefail
arch=$1 setup=$2 prefix=$3 src=$4
. "$src/scripts/arch.sh"
halyard_wine_env "$arch" "$prefix"
install_win='C:\HalyardInstallerTest'
install_unix=$prefix/drive_c/HalyardInstallerTest
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OPOS_is1'
cashdrawer_key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer'
posprinter_key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter'
work=$(mktemp -d)
failures=0
emulator_pid=""

# The views the setup program writes, as reg.exe's switches, and where each
# service object lives. A 32-bit prefix has one view.
if [ "$arch" = win64 ]; then
  views=(/reg:32 /reg:64)
  dir64=$install_unix/x64 dir32=$install_unix/x86 tools=$install_unix/x64
  # 32-bit programs (regsvr32, the 32-bit cleaner) run only where the host
  # runs 32-bit code; elsewhere the setup program registers the 64-bit
  # service object alone, as on Windows without WOW64.
  runs32=$([ -z "$(halyard_cannot_run win32)" ] && echo 1 || echo 0)
else
  views=("")
  dir32=$install_unix tools=$install_unix
  runs32=1
fi
view_name() { case $1 in /reg:32) echo "32-bit view" ;; /reg:64) echo "64-bit view" ;; *) echo "registry" ;; esac; }

pass() { echo "ok   $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
# A helper whose failure would turn a check's answer around stops the whole
# test with its reason, from inside a check or a command substitution too.
exec 3>&1
trap 'echo "installer_test: stopped"; exit 1' USR1
stop() { echo "FAIL $*" >&3; kill -s USR1 $$; exit 1; }
check() { local what=$1; shift; if "$@" >/dev/null 2>&1; then pass "$what"; else fail "$what"; fi; }
check_not() { local what=$1; shift; if "$@" >/dev/null 2>&1; then fail "$what"; else pass "$what"; fi; }
# reg_has VIEW KEY [reg query arguments...]
reg_has() { local view=$1 key=$2; shift 2; halyard_wine reg query "$key" "$@" $view </dev/null; }
reg_value() { reg_has "$@" 2>/dev/null | tr -d '\r'; }
# check_each_view WHAT COMMAND... : COMMAND gets the view as its first argument.
check_each_view() {
  local what=$1 view; shift
  for view in "${views[@]}"; do check "$what ($(view_name "$view"))" "$@" "$view"; done
}
check_no_view() {
  local what=$1 view; shift
  for view in "${views[@]}"; do check_not "$what ($(view_name "$view"))" "$@" "$view"; done
}

# The machine type in a PE file's header: 014c (i386) or 8664 (AMD64).
pe_machine() {
  local at
  at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((at + 4)) -N2 "$1" | tr -d ' '
}
# The subsystem in a PE file's optional header: 2 a window, 3 the console.
pe_subsystem() {
  local at
  at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tu2 -j$((at + 92)) -N2 "$1" | tr -d ' '
}
# The file that the CLSID of our ProgID points at in VIEW, as a Unix path.
server_of_view() {
  local view=$1 clsid path
  clsid=$(reg_value "$view" 'HKLM\SOFTWARE\Classes\SOTarvoCash.SOTvCash\CLSID' /ve |
          sed -n 's/.*REG_SZ *//p')
  [ -n "$clsid" ] || return 1
  path=$(reg_value "$view" "HKLM\\SOFTWARE\\Classes\\CLSID\\$clsid\\InprocServer32" /ve |
         sed -n 's/.*REG_SZ *//p')
  [ -n "$path" ] || return 1
  halyard_winepath -u "$path" 2>&3 || stop "the path $path of the $(view_name "$view") cannot be read as a Unix path"
}
# registered_in VIEW DIR MACHINE: the view's server is DIR/Halyard.dll of that machine type.
registered_in() {
  local file
  file=$(server_of_view "$1") || return 1
  [ "$(readlink -f "$file")" = "$(readlink -f "$2/Halyard.dll")" ] && [ "$(pe_machine "$file")" = "$3" ]
}

cleanup() {
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

bash "$src/scripts/wine-prefix.sh" "$arch" "$prefix" || { echo "FAIL no Wine prefix"; exit 1; }
# A server of its own, kept for the whole run, with its output away from
# ctest's pipe.
wineserver -p >/dev/null 2>&1 </dev/null
halyard_wine cmd /c exit >/dev/null 2>&1 </dev/null

# The sweep and the uninstaller's own removal may only touch the package's
# entries: the parts of the machine registry they work in, in every view,
# before and after.
snapshot() {
  local out=$1 view key
  : >"$out"
  for view in "${views[@]}"; do
    echo "[$(view_name "$view")]" >>"$out"
    for key in 'HKLM\SOFTWARE\OLEforRetail' 'HKLM\SOFTWARE\QELM' "$uninstall_key" \
               'HKLM\SOFTWARE\Classes\SOTarvoCash.SOTvCash' 'HKLM\SOFTWARE\Classes\SOTarvoCash.SOTvCash.1'; do
      reg_value "$view" "$key" /s >>"$out"
    done
  done
}
uninstall_entry_left() {
  local view
  for view in "${views[@]}"; do reg_has "$view" "$uninstall_key" >/dev/null 2>&1 && return 0; done
  return 1
}

# A leftover of an earlier, interrupted run would make the comparison lie.
if uninstall_entry_left; then
  halyard_wine "$install_win\\uninstall.exe" /S </dev/null
  for _ in $(seq 1 100); do uninstall_entry_left || break; sleep 0.3; done
fi

# Another vendor's drawer, which the uninstaller must leave alone.
for view in "${views[@]}"; do
  halyard_wine reg add "$cashdrawer_key\\OtherVendor-Till1" /ve /d Other.CashDrawer /f $view >/dev/null </dev/null
done
snapshot "$work/before"

# Wine's icacls changes nothing: a recorder takes its place, so that the
# grant the setup program asks for can be read back.
icacls_unix=$prefix/drive_c/windows/system32/icacls.exe
icacls_log=$work/icacls.args
cp "$(dirname "$setup")/installer_args_recorder.exe" "$icacls_unix"
export HALYARD_RECORD_ARGS
# Without the recorder's path every later grant check would fail for a
# reason of its own: stop here with the conversion's.
HALYARD_RECORD_ARGS=$(halyard_winepath -w "$icacls_log") ||
  stop "the recorder's log path cannot be given to Windows programs (see above)"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}icacls.exe=n"

# ---- silent install with a first device ------------------------------------
# The drawer sits on the emulator's port, which is known only after the
# emulator runs from the installed folder: install first with a placeholder
# port, then point the device at the emulator with drawerctl.
halyard_wine "$setup" /S /DEVICE=KX8-InstallerTest /PORT=tcp:127.0.0.1:1 /PIN=2 \
     /SENSOR=high-open "/D=$install_win" </dev/null
rc=$?
[ "$rc" -eq 0 ] && pass "silent install exits 0" || fail "silent install exits 0 (got $rc)"
for f in OPOSLog.ini uninstall.exe; do check "installed $f" test -f "$install_unix/$f"; done
check "the setup program lets the Users group (S-1-5-32-545) modify Cashlog" \
  grep -qF "\"$install_win\\Cashlog\" /grant *S-1-5-32-545:(OI)(CI)M" "$icacls_log"
for f in Halyard.dll Ferrule.dll Quire.dll Scrubber.exe; do
  check "installed the 32-bit $f" test -f "$dir32/$f"
  check "the 32-bit $f is a 32-bit program" test "$(pe_machine "$dir32/$f")" = 014c
done
for f in drawerctl.exe drawerconfig.exe printer-emulator.exe; do
  check "installed $f" test -f "$tools/$f"
done
start_link() { find "$prefix/drive_c" -path '*Start Menu/Programs/Halyard/Halyard cash drawers.lnk'; }
check "the Start menu has drawerconfig's entry" test -n "$(start_link)"
check "the Start-menu entry starts drawerconfig.exe" grep -aq 'drawerconfig.exe' "$(start_link | head -n1)"
check "drawerconfig.exe is a program with a window (GUI subsystem)" \
  test "$(pe_subsystem "$tools/drawerconfig.exe")" = 2
if [ "$arch" = win64 ]; then
  for f in Halyard.dll Ferrule.dll Quire.dll Scrubber.exe drawerctl.exe drawerconfig.exe \
           printer-emulator.exe; do
    check "installed the 64-bit $f" test -f "$dir64/$f"
    check "the 64-bit $f is a 64-bit program" test "$(pe_machine "$dir64/$f")" = 8664
  done
fi
uninstall_names_uninstaller() {
  reg_value "$1" "$uninstall_key" /v UninstallString | grep -qF "\"$install_win\\uninstall.exe\""
}
check_each_view "uninstall entry names the uninstaller in the installation folder" uninstall_names_uninstaller
if [ "$arch" = win64 ]; then
  check "the 64-bit view holds the 64-bit service object (x64\\Halyard.dll)" registered_in /reg:64 "$dir64" 8664
  if [ "$runs32" = 1 ]; then
    check "the 32-bit view holds the 32-bit service object (x86\\Halyard.dll)" registered_in /reg:32 "$dir32" 014c
  else
    echo "note this host runs no 32-bit code: the 32-bit service object cannot be registered here"
    check_not "the 32-bit view does not point at the 64-bit service object" registered_in /reg:32 "$dir64" 8664
  fi
else
  check "the COM server is registered under its ProgID" registered_in "" "$dir32" 014c
fi
version_key() { reg_has "$1" 'HKLM\SOFTWARE\QELM\TVOPOS\2.30.000'; }
check_each_view "version key for the cleaner" version_key
service_entry() { reg_value "$1" 'HKLM\SOFTWARE\OLEforRetail\ServiceInfo' | grep -q Tarvo; }
check_each_view "service entry with the cleaner's marker" service_entry
first_device() { reg_value "$1" "$cashdrawer_key\\KX8-InstallerTest" /v Port | grep -q tcp:127.0.0.1:1; }
check_each_view "the first device is configured" first_device

# ---- installing again over it ------------------------------------------------
echo '; kept by the integrator' >>"$install_unix/OPOSLog.ini"
# With a second drawer: a USB printer's, without a sensor.
halyard_wine "$setup" /S /DEVICE=KX8-InstallerUsb /PORT=USB:J6EF012345 /SENSOR=none \
     "/D=$install_win" </dev/null
rc=$?
[ "$rc" -eq 0 ] && pass "a second install over the first exits 0" \
                || fail "a second install over the first exits 0 (got $rc)"
check "the integrator's OPOSLog.ini survives a reinstall" \
  grep -q 'kept by the integrator' "$install_unix/OPOSLog.ini"
drawer_kept() { reg_has "$1" "$cashdrawer_key\\KX8-InstallerTest"; }
check_each_view "the configured drawer survives a reinstall" drawer_kept
usb_drawer() {
  reg_value "$1" "$cashdrawer_key\\KX8-InstallerUsb" /v Port | grep -q 'USB:J6EF012345' &&
    reg_value "$1" "$cashdrawer_key\\KX8-InstallerUsb" /v DrawerSensor | grep -q '0x0'
}
check_each_view "/SENSOR=none writes DrawerSensor 0 beside a USB port" usb_drawer

# ---- the installed product at work ------------------------------------------
emulator_out=$work/emulator.log
"$WINELOADER" "$tools/printer-emulator.exe" --port 0 --sensor high-when-open --auto-close 1500 \
     --no-stdin >"$emulator_out" 2>&1 </dev/null &
emulator_pid=$!
port=""
for _ in $(seq 1 150); do
  port=$(sed -n 's/.*listening 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' "$emulator_out" | head -n 1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] && pass "installed printer emulator listens" || fail "installed printer emulator listens"

drawerctl() { halyard_wine "$tools/drawerctl.exe" "$@" </dev/null; }
check "drawerctl points the device at the emulator" \
  drawerctl add KX8-InstallerTest --port "tcp:127.0.0.1:$port" --sensor high-open --replace
points_at_emulator() { reg_value "$1" "$cashdrawer_key\\KX8-InstallerTest" /v Port | grep -q ":$port"; }
check_each_view "the drawer drawerctl changed is seen" points_at_emulator
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
second_drawer() { reg_has "$1" "$cashdrawer_key\\FrontTill"; }
check_each_view "the drawer drawerctl added is seen" second_drawer
# A marker value only the cleaner removes (the uninstaller does not know it),
# in each view whose cleaner can run here.
marker_views=()
for view in "${views[@]}"; do
  [ "$view" = /reg:32 ] && [ "$runs32" = 0 ] && continue
  marker_views+=("$view")
  halyard_wine reg add "$posprinter_key" /v LeftByKX8Tool /d 'KX8 printer' /f $view >/dev/null </dev/null
done
kill "$emulator_pid" 2>/dev/null; emulator_pid=""

# ---- silent uninstall --------------------------------------------------------
# The uninstaller runs from a copy in the temporary folder: wait for its end.
halyard_wine "$install_win\\uninstall.exe" /S </dev/null
gone=0
for _ in $(seq 1 200); do
  if ! uninstall_entry_left && [ ! -e "$install_unix" ]; then gone=1; break; fi
  sleep 0.3
done
[ "$gone" -eq 1 ] && pass "uninstall removes its entries and the installation folder" \
                  || fail "uninstall removes its entries and the installation folder"
check "uninstall removes the Start-menu entry" test -z "$(start_link)"
marker_left() { reg_has "$1" "$posprinter_key" /v LeftByKX8Tool; }
for view in "${marker_views[@]}"; do
  check_not "the cleaner ran (its KX8 marker value is gone, $(view_name "$view"))" marker_left "$view"
done
progid_left() { reg_has "$1" 'HKLM\SOFTWARE\Classes\SOTarvoCash.SOTvCash'; }
check_no_view "the COM server is unregistered" progid_left
check_no_view "drawers of this package are gone" second_drawer
snapshot "$work/after"
if diff -u "$work/before" "$work/after" >"$work/diff"; then
  pass "the registry is as it was before the install (another vendor's drawer kept)"
else
  fail "the registry is as it was before the install"
  sed 's/^/     | /' "$work/diff"
fi
for view in "${views[@]}"; do
  halyard_wine reg delete "$cashdrawer_key\\OtherVendor-Till1" /f $view >/dev/null 2>&1 </dev/null
done

# An option the installer does not know how to honour stops it before it
# touches anything.
for bad in "/PORT=COM1 /PIN=3" "/PORT=COM1 /SENSOR=open" "/PORT=USB1" "/PORT=PRINTERX" \
           "/DEVICE=KX8-Bad" \
           '/DEVICE=KX8\Bad /PORT=COM1'; do
  # shellcheck disable=SC2086
  halyard_wine "$setup" /S $bad "/D=$install_win" </dev/null
  rc=$?
  [ "$rc" -eq 2 ] && pass "$bad stops the install with exit code 2" \
                  || fail "$bad stops the install with exit code 2 (got $rc)"
done
check_not "nothing was installed after the bad options" test -e "$install_unix"
check_not "no uninstall entry after the bad options" uninstall_entry_left

if [ "$failures" -ne 0 ]; then echo "installer_test: $failures check(s) failed"; exit 1; fi
echo "installer_test: all checks passed"
