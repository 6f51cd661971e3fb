#!/usr/bin/env bash
# The main job: installs what is missing, builds the stub, packs a sample installation
# file with zpack (the sample setup engine and a few files), installs it under Wine with
# its progress window, and prints what was installed, where, and the exit code handed on.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${Z_BUILD_DIR:-build}  # another build folder for a private run
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build"
bench=$build/wine
bin=$build/windows
bash scripts/wine-bench.sh start "$bench"
trap 'bash scripts/wine-bench.sh stop "$bench" >/dev/null' EXIT

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

echo "== packing $sample_win\\SampleSetup.exe"
"$build/zpack" --stub "$bin/ZStub.exe" -o "$sample/SampleSetup.exe" \
  --engine "$bin/SampleEngine.exe" --engine-args "/Target=\"$target_win\" /WorkMs=1500" \
  --dir "$sample/files" --language '|English|s0=Zorvik Sample Setup|' --activity-bar
"$build/zpack" --list "$sample/SampleSetup.exe" | sed -n '1,12p'

echo "== installing under Wine (progress window on the bench's display $(cat "$bench/display"))"
set +e
bash scripts/wine-bench.sh run "$bench" "$sample_win\\SampleSetup.exe" /ExitCode=0
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
echo "== SampleSetup.exe exited with code $code (the engine's; 1602 cancelled, 1603 failed: the installation did not run)"
exit "$code"
