#!/usr/bin/env bash
# Pictures of drawerconfig's pages for docs/drawerconfig.md, taken on a real
# Wine display (the X11 driver on an Xvfb screen; the test prefixes use the
# null driver and show nothing): the Drawers page with two drawers, the Add
# dialog refusing a bad port, and the Test page after the drawer was opened
# against the printer emulator. Installs Xvfb, xdotool and ImageMagick when
# they are missing. Not part of the test command.
# Usage: bash scripts/screenshots.sh        (writes docs/drawerconfig-*.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
build_root=${HALYARD_BUILD_DIR:-$root/build}
out=$root/docs


bash "$root/scripts/setup.sh"
need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
command -v import >/dev/null || need+=(imagemagick)
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  echo "screenshots: installing ${need[*]}" >&2
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${need[@]}" >/dev/null
fi

arch=""
for a in $HALYARD_ALL_ARCHS; do
  [ -z "$(halyard_cannot_run "$a")" ] && { arch=$a; break; }
done
[ -n "$arch" ] || { echo "screenshots: this host runs no Windows programs under Wine" >&2; exit 1; }
build=$(halyard_build_dir "$build_root" "$arch")
halyard_build "$root" "$arch" "$build" >"$build/screenshots-build.log" 2>&1 ||
  { tail -n 30 "$build/screenshots-build.log" >&2; exit 1; }
bin=$build/bin
prefix=$build/screenshot-prefix
install=$build/screenshot-install

# A display of its own, and a prefix that draws on it.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
emulator_pid=""
cleanup() {
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null || true
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
halyard_wine_env "$arch" "$prefix"
if [ ! -f "$prefix/.screenshots-ready" ]; then
  rm -rf "$prefix"
  WINEDLLOVERRIDES="mscoree,mshtml=" halyard_wine wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -w
  halyard_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
       >/dev/null 2>&1 </dev/null
  touch "$prefix/.screenshots-ready"
fi

rm -rf "$install" && mkdir -p "$install"
cp "$bin/"{Halyard.dll,Ferrule.dll,Quire.dll,drawerctl.exe,drawerconfig.exe,printer-emulator.exe} \
   "$install/"
printf '[Cash_Log]\r\nlevel=Log_Level_Debug\r\n' >"$install/OPOSLog.ini"
halyard_wine reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OPOS_is1' \
     /v UninstallString /d "\"$(halyard_z_path "$install")\\uninstall.exe\"" /f >/dev/null 2>&1
halyard_wine regsvr32 /s "$(halyard_z_path "$install")\\Halyard.dll" </dev/null

log=$install/printer-emulator.log
"$WINELOADER" "$install/printer-emulator.exe" --address 127.0.0.1 --port 0 --sensor high-when-shut \
     --auto-close never --no-stdin >"$log" 2>&1 </dev/null &
emulator_pid=$!
port=""
for _ in $(seq 1 200); do
  port=$(sed -n 's/.*listening 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' "$log" | head -n 1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$log" >&2; exit 1; }
drawerctl() { halyard_wine "$install/drawerctl.exe" "$@" </dev/null >/dev/null 2>&1; }
# Only the drawers of these pictures, whatever an earlier run left.
for view in /reg:32 /reg:64; do
  halyard_wine reg delete 'HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer' /f $view >/dev/null 2>&1 </dev/null || true
done
drawerctl add KX8-FrontTill --port "tcp:127.0.0.1:$port" --pin 2 --sensor high-shut --replace
drawerctl add KX8-Side --port COM3:38400,N,8,1 --pin 5 --replace

halyard_wine "$install/drawerconfig.exe" </dev/null >/dev/null 2>&1 &
window=$(xdotool search --sync --onlyvisible --name '^Halyard cash drawers$' | head -n 1)
sleep 2
shot() { import -window "$1" "$out/$2"; echo "wrote docs/$2"; }
shot "$window" drawerconfig-drawers.png

# The Add dialog with a port the port library refuses.
xdotool key --window "$window" alt+a
dialog=$(xdotool search --sync --onlyvisible --name '^Add a cash drawer$' | head -n 1)
sleep 1
xdotool type --window "$dialog" --delay 20 'kx8-till2'
xdotool key --window "$dialog" Tab
xdotool type --window "$dialog" --delay 20 'com256'
xdotool key --window "$dialog" Return
sleep 1
shot "$dialog" drawerconfig-add.png
xdotool key --window "$dialog" Escape
sleep 1

# The Test page: the drawer opened (connect, claim, enable, kick).
xdotool key --window "$window" ctrl+Tab
sleep 1
xdotool key --window "$window" alt+o
sleep 6
xdotool key --window "$window" alt+2
sleep 4
shot "$window" drawerconfig-test.png

xdotool key --window "$window" Escape
for _ in $(seq 1 100); do
  xdotool search --onlyvisible --name '^Halyard cash drawers$' >/dev/null 2>&1 || break
  sleep 0.1
done
