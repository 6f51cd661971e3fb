#!/usr/bin/env bash
# Every test: installs what is missing, builds both builds, runs the native tests and
# the tests under Wine in one CTest run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j2
