#!/usr/bin/env bash
# The main job: installs what is missing, builds the stub, and runs it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build
bench=build/wine
bash scripts/wine-bench.sh start "$bench"
trap 'bash scripts/wine-bench.sh stop "$bench" >/dev/null' EXIT
echo "== running ZStub.exe under Wine"
set +e
bash scripts/wine-bench.sh run "$bench" build/windows/ZStub.exe
code=$?
set -e
echo "== ZStub.exe exited with code $code"
