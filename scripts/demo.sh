#!/usr/bin/env bash
# The one-command demo: builds the product, installs it into a Wine prefix of
# its own, starts the printer emulator on loopback with a drawer that shuts by
# itself a few seconds after each kick, configures a cash drawer on it and
# runs a till's whole cycle through drawerctl. Prints a transcript and the
# service object's log. Leaves nothing running.
# Runs the 32-bit product where this host runs 32-bit code, the 64-bit one
# otherwise, and builds only that one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
halyard_name_failures demo
build_root=${HALYARD_BUILD_DIR:-$root/build}
device=KX8-Demo
auto_close_ms=${DEMO_AUTO_CLOSE_MS:-4000}

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }

bash "$root/scripts/setup.sh"
arch=""
for a in $HALYARD_ALL_ARCHS; do
  why=$(halyard_cannot_run "$a")
  if [ -z "$why" ]; then arch=$a; break; fi
  echo "demo: not the $(halyard_bits "$a") product: $why"
done
if [ -z "$arch" ]; then
  echo "demo: this host runs no Windows programs under Wine (see above)" >&2
  exit 1
fi
build=$(halyard_build_dir "$build_root" "$arch")
prefix=$build/demo-prefix
install=$build/demo-install

say "the $(halyard_bits "$arch") product ($arch): building ${build#$root/}"
mkdir -p "$build"
if ! halyard_build "$root" "$arch" "$build" >"$build/demo-build.log" 2>&1; then
  tail -n 40 "$build/demo-build.log" >&2
  echo "demo: the build failed (whole output in ${build#$root/}/demo-build.log)" >&2
  exit 1
fi
tail -n 1 "$build/demo-build.log"
for f in Halyard.dll Ferrule.dll Quire.dll drawerctl.exe printer-emulator.exe; do
  [ -f "$build/bin/$f" ] || { echo "demo: $f was not built" >&2; exit 1; }
done

say "Wine prefix of the demo: ${prefix#$root/}"
bash "$root/scripts/wine-prefix.sh" "$arch" "$prefix"
halyard_wine_env "$arch" "$prefix"

emulator_pid=""
cleanup() {
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null || true
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say "installing into ${install#$root/} (as the setup program would)"
rm -rf "$install"
mkdir -p "$install"
cp "$build/bin/"{Halyard.dll,Ferrule.dll,Quire.dll,drawerctl.exe,printer-emulator.exe} "$install/"
cat > "$install/OPOSLog.ini" <<'INI'
[Cash_Log]
level=Log_Level_Debug
mode=Log_Mode_Simple
flush_size=0
format=%T [%L] %m
INI
# The service object finds its folder (OPOSLog.ini, Cashlog\) from this entry.
halyard_wine reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OPOS_is1' \
     /v UninstallString /d "\"$(halyard_z_path "$install")\\uninstall.exe\"" /f >/dev/null
if ! halyard_wine regsvr32 /s "$(halyard_z_path "$install")\\Halyard.dll" </dev/null; then
  echo "demo: regsvr32 could not register $(halyard_z_path "$install")\\Halyard.dll" >&2
  exit 1
fi
echo "registered SOTarvoCash.SOTvCash ($(halyard_bits "$arch")) from $(halyard_z_path "$install")\\Halyard.dll"
echo "log settings: ${install#$root/}/OPOSLog.ini (level=Log_Level_Debug)"

say "printer emulator on loopback (the drawer shuts by itself ${auto_close_ms} ms after it opens)"
emulator_log=$install/printer-emulator.log
"$WINELOADER" "$install/printer-emulator.exe" --address 127.0.0.1 --port 0 --sensor high-when-open \
     --auto-close "$auto_close_ms" --no-stdin >"$emulator_log" 2>&1 </dev/null &
emulator_pid=$!
port=""
for _ in $(seq 1 200); do
  port=$(sed -n 's/.*listening 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' "$emulator_log" | head -n 1)
  [ -n "$port" ] && break
  kill -0 "$emulator_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: the printer emulator did not start:" >&2
  cat "$emulator_log" >&2
  exit 1
fi
echo "listening on 127.0.0.1:$port"

drawerctl() { halyard_wine "$install/drawerctl.exe" "$@"; }

say "drawerctl add $device --port tcp:127.0.0.1:$port --pin 2 --sensor high-open"
drawerctl add "$device" --port "tcp:127.0.0.1:$port" --pin 2 --sensor high-open --replace
drawerctl list

say "drawerctl cycle $device (reminder beep from the second open poll, every poll)"
status=0
drawerctl cycle "$device" --beep-timeout 200 --beep-frequency 880 --beep-duration 150 \
          --beep-delay 100 || status=$?

say "what the printer saw"
grep -iE 'kick|drawer|connect' "$emulator_log" | sed 's/^/  /' || true

log=$install/Cashlog/CashRollback.log
say "the service object's log: ${log#$root/}  ($(halyard_z_path "$install")\\Cashlog\\CashRollback.log)"
if [ -f "$log" ]; then
  # The delivery thread looks at its empty queue five times a second
  # ("Cash.fEventJob(1,0,0)" answered by "Cash.fEventJob:0"); those pairs are
  # left out here, the file has them all.
  tr -d '\r' <"$log" | awk '
    /Cash\.fEventJob\(1,0,0\)$/ { held = $0; next }
    held != "" { if ($0 !~ /Cash\.fEventJob:0$/) print "  " held; held = "" ; if ($0 ~ /Cash\.fEventJob:0$/) { skipped++; next } }
    { print "  " $0 }
    END { if (held != "") print "  " held; if (skipped) printf "  (%d empty looks of the delivery thread at its queue left out)\n", skipped }'
else
  echo "  (no log was written)"
fi

say "done (drawerctl exit code $status); stopping the emulator and Wine"
exit "$status"
