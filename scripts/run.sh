#!/usr/bin/env bash
# The main job: installs what is missing, builds the stub, packs a sample installation
# file with zpack (the sample setup engine and a few files), installs it under Wine with
# its progress window, and prints what was installed, where, and the exit code handed on.
#
#   bash scripts/run.sh          the local installation file
#   bash scripts/run.sh --web    a web install: zpack also writes the setup file's web stub,
#                                a local nginx serves the setup file on 127.0.0.1 and the
#                                web stub downloads, checks and installs it
set -euo pipefail
cd "$(dirname "$0")/.."
web=0
[ "${1:-}" = --web ] && web=1
bash scripts/setup.sh
source scripts/winarch.bash
winarch_detect
winarch_banner
build=${Z_BUILD_DIR:-build}  # another build folder for a private run
cmake -S . -B "$build" -G Ninja -DZ_WINARCH="$Z_WINARCH" >/dev/null
cmake --build "$build"
bench=$build/$(winarch_bench_dir "$Z_WINARCH")
bin=$build/$(winarch_windows_dir "$Z_WINARCH")
bash scripts/wine-bench.sh start "$bench"
source scripts/lib/web_lib.bash
trap 'stop_web_servers; bash scripts/wine-bench.sh stop "$bench" >/dev/null' EXIT

# Paths inside the bench's prefix.
export WINEPREFIX=$PWD/$bench/prefix
sample_win='C:\ZorvikSample'
target_win="$sample_win\\Sample App"
sample=$WINEPREFIX/drive_c/ZorvikSample
rm -rf "$sample"
mkdir -p "$sample/files/docs"
cp README.md ARCHITECTURE.md "$sample/files/"
cp docs/*.md "$sample/files/docs/"
cp res/ZStub.ico "$sample/files/"

pack_options=(--stub "$bin/ZStub.exe" --engine "$bin/SampleEngine.exe"
  --engine-args "/Target=\"$target_win\" /WorkMs=1500" --dir "$sample/files"
  --language '|English|s0=Zorvik Sample Setup|' --activity-bar)
if [ $web = 0 ]; then
  echo "== packing $sample_win\\SampleSetup.exe"
  "$build/zpack" "${pack_options[@]}" -o "$sample/SampleSetup.exe"
  "$build/zpack" --list "$sample/SampleSetup.exe" | sed -n '1,12p'
  program="$sample_win\\SampleSetup.exe"
else
  # The vendor's server: nginx on a free loopback port, serving $sample/www.
  mkdir -p "$sample/www"
  start_nginx "$sample/www" "$PWD/$build/run-nginx"
  echo "== packing $sample_win\\www\\SampleSetup.exe and its web stub $sample_win\\SampleWebSetup.exe"
  "$build/zpack" "${pack_options[@]}" -o "$sample/www/SampleSetup.exe" \
    --web-stub "$sample/SampleWebSetup.exe" --web-url "$nginx_url"
  "$build/zpack" --list "$sample/SampleWebSetup.exe" | sed -n '1,20p'
  echo "== nginx serves $nginx_url/SampleSetup.exe"
  program="$sample_win\\SampleWebSetup.exe"
fi

echo "== installing under Wine (progress window on the bench's display $(cat "$bench/display"))"
set +e
bash scripts/wine-bench.sh run "$bench" "$program" /ExitCode=0
code=$?
set -e

record="$sample/Sample App.log"
echo "== installed into $target_win:"
if [ -d "$sample/Sample App" ]; then
  (cd "$sample/Sample App" && find . -type f -printf '  %-28P %8s bytes  %TY-%Tm-%Td %TH:%TM\n' | sort)
else
  echo "  (nothing)"
fi
if [ -f "$record" ]; then
  echo "== the engine ran from: $(sed -n 's/^EngineFolder=//p' "$record" | tr -d '\r') (removed afterwards)"
  echo "== its command line:    $(sed -n 's/^CommandLine=//p' "$record" | tr -d '\r')"
fi
echo "== ${program##*\\} exited with code $code (the engine's; 1602 cancelled, 1603 failed: the installation did not run)"
exit "$code"
