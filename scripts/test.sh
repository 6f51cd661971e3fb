#!/usr/bin/env bash
# Every test: installs what is missing, builds the native build and both Windows
# flavours, runs the native tests and the tests under Wine in one CTest run: the whole
# suite on the flavour this host runs (scripts/winarch.bash; Z_WINARCH forces one), the
# other flavour's stub checks (and, beside a 32-bit suite, the 64-bit end-to-end scripts).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/winarch.bash
winarch_detect
winarch_banner
cmake -S . -B build -G Ninja -DZ_WINARCH="$Z_WINARCH" >/dev/null
cmake --build build
set +e
ctest --test-dir build --output-on-failure -j2
code=$?
winarch_banner
exit $code
