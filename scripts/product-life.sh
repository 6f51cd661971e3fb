#!/usr/bin/env bash
# The whole life of a product, under Wine on this machine: version 1.0 of "Pad" is installed
# with its auto-update agent; the vendor publishes version 2.0 on a local nginx (zpublish
# writes and checks its record); the agent probes, downloads and checks the new setup file,
# closes the running program, installs the update, records the new version, starts the
# program again and restarts itself from the freshly installed agent file. Prints each
# step as it is seen.
#
#   bash scripts/product-life.sh     (installs what is missing and builds first, like run.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${Z_BUILD_DIR:-build}
if [ -z "${Z_LIFE_IN_BENCH:-}" ]; then bash scripts/setup.sh; fi
source scripts/winarch.bash
winarch_detect
bench=$build/$(winarch_bench_dir "$Z_WINARCH")
bin=$PWD/$build/$(winarch_windows_dir "$Z_WINARCH")
zpack=$PWD/$build/zpack
zpublish=$PWD/$build/zpublish
if [ -z "${Z_LIFE_IN_BENCH:-}" ]; then
  winarch_banner
  cmake -S . -B "$build" -G Ninja -DZ_WINARCH="$Z_WINARCH" >/dev/null
  cmake --build "$build"
  # Runs itself again inside the bench's environment (prefix, display, wineserver).
  bash scripts/wine-bench.sh start "$bench" >/dev/null
  trap 'bash scripts/wine-bench.sh stop "$bench" >/dev/null' EXIT
  Z_LIFE_IN_BENCH=1 bash scripts/wine-bench.sh shell "$bench" bash "$0" "$@"
  exit $?
fi
source scripts/lib/web_lib.bash
product_win='C:\ZorvikLife\Pad'
life=$WINEPREFIX/drive_c/ZorvikLife
product=$life/Pad
cleanup() {
  [ -e "$product/X_Update.lock" ] && wine "$product_win\\Update.exe" /STOP=0 </dev/null >/dev/null 2>&1
  sleep 2
  wine taskkill /f /im Pad.exe </dev/null >/dev/null 2>&1 || true
  wine "$bin/ztestapp.exe" "/post=ZShellStandIn;16;0;0" </dev/null >/dev/null 2>&1
  stop_web_servers
}
trap cleanup EXIT
rm -rf "$life"
mkdir -p "$life/v1" "$life/v2" "$life/www/pad"
start_nginx "$life/www" "$PWD/$build/life-nginx"
token=Pad-$RANDOM$RANDOM
step() { echo; echo "== $*"; }
# Wine's processes show their Windows command line.
running() { pgrep -af "ZorvikLife.Pad.$1" | sed 's/^[0-9]* /   running: /' || echo "   $1 is not running"; }
version() { sed -n 's/^VersionOriginal=//p' "$product/Pad.original" | tr -d '\r'; }

# The program: a window titled with its version (ztestapp takes its switches from Pad.args).
# The record: what is installed, where, and how often to probe. Each setup file carries the
# product's token, the ".info" name and the vendor's address; its stub writes the agent
# (Update.exe: the stub and the package's header texts) beside the files it installs.
for v in 1 2; do
  cp "$bin/ztestapp.exe" "$life/v$v/Pad.exe"
  printf '/win=PadMain;Pad %s.0;1\r\n' "$v" > "$life/v$v/Pad.args"
done
printf '[OriginalSetup]\r\nProgramName=Pad\r\nVersionOriginal=100\r\nStamp=1\r\nProbeSecondsInterval=-1\r\n[Directories]\r\nTargetDir=%s\r\n' \
  "$product_win" > "$life/v1/Pad.original"
for v in 1 2; do
  "$zpack" --stub "$bin/ZStub.exe" --engine "$bin/SampleEngine.exe" --engine-args "/Target=\"$product_win\"" \
    --dir "$life/v$v" --token "$token" --language "|English|s0=Pad $v.0 Setup|" --make-agent --agent Update.exe \
    --agent-log --info Pad.info --update-url "$nginx_url/pad" -o "$life/PadSetup$v.exe" >/dev/null
done

# The user's desktop shell, which Wine does not have: the elevated agent starts the user's
# program again only with the token of a shell that runs without administrator rights.
wine "$bin/ztestapp.exe" /limited "/win=ZShellStandIn;Shell;0" /shell </dev/null >/dev/null 2>&1 &
sleep 2

step "1. install Pad 1.0 with its agent (PadSetup1.exe)"
code=0
wine "$(winepath -w "$life/PadSetup1.exe")" </dev/null >/dev/null 2>&1 || code=$?
echo "   setup exit code $code"
ls "$product" | sed 's/^/   /'
echo "   recorded version: $(version)"

step "2. the user runs Pad 1.0"
wine "$product_win\\Pad.exe" </dev/null >/dev/null 2>&1 &
sleep 2
running Pad.exe

step "3. the vendor publishes Pad 2.0 on $nginx_url/pad (zpublish writes and checks Pad.info)"
cp "$life/PadSetup2.exe" "$life/www/pad/"
"$zpublish" --setup "$life/www/pad/PadSetup2.exe" -o "$life/www/pad/Pad.info" --product Pad --version-new 200 --stamp 2 \
  --url "$nginx_url/pad" --running-process '<InstallDir>\Pad.exe' --shut-down 'Using WM_CLOSE' --restart-process \
  --background --token-from "$product/Update.exe" --agent "$product/Update.exe" --original "$product/Pad.original" \
  --fetch | sed 's/^/   wrote /'
sed 's/^/   /; s/\r$//' "$life/www/pad/Pad.info"
echo "   what this machine's agent will decide:"
"$zpublish" --dry-run "$life/www/pad/Pad.info" --original "$product/Pad.original" \
  --setup "$life/www/pad/PadSetup2.exe" | sed 's/^/     /'

step "4. the agent runs (Update.exe /DELAY=600), is asked to probe now (/TEST=1), updates and restarts"
wine "$product_win\\Update.exe" /DELAY=600 </dev/null >/dev/null 2>&1
sleep 3
wine "$product_win\\Update.exe" /TEST=1 </dev/null >/dev/null 2>&1
for _ in $(seq 120); do
  grep -q "ReStartAutoUpdateExe() - End" "$product/X_Update.log" 2>/dev/null && break
  sleep 1
done
grep -E "GetOkToPerformAU|PerformAutoUpdate\(\)|Download (START|END)|Shut Down Process|WinExec|ReStartAutoUpdateExe" \
  "$product/X_Update.log" | sed 's/^/   /'
echo "   recorded version: $(version)"
echo "   the setup's engine received: $(sed -n 's/^CommandLine=//p' "$life/Pad.log" 2>/dev/null | tail -1 | tr -d '\r')"
echo "   Pad.args now: $(tr -d '\r' < "$product/Pad.args")"

step "5. after the restart"
for _ in $(seq 40); do
  [ "$(grep -c "=== START === .*X_Update.exe" "$product/X_Update.log")" -ge 2 ] && break
  sleep 1
done
echo "   working copies started so far: $(grep -c "=== START === .*X_Update.exe" "$product/X_Update.log")"
running Pad.exe; running X_Update.exe
