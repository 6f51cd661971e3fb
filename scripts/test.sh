#!/usr/bin/env bash
# Runs the tests: installs what is missing, builds the native build and both Windows
# flavours, then runs one CTest run from the native build: the whole suite on the flavour
# this host runs (scripts/winarch.bash; Z_WINARCH forces one), the other flavour's stub
# checks (and, beside a 32-bit suite, the 64-bit end-to-end scripts).
#
#   scripts/test.sh               every test (what CI runs, .ci/run)
#   scripts/test.sh --quick       the loop to run while working: labels native, fuzz,
#                                 static and wine (the Windows unit tests); no script
#   scripts/test.sh --label RE    the tests whose CTest label matches RE
#                                 (native, fuzz, static, wine, e2e, long)
#
# A run that leaves files in the work tree that were not there before it (or changes
# tracked ones) fails: tests write under build/ and their own temporary folders only.
set -euo pipefail
cd "$(dirname "$0")/.."

labels=""
case "${1:-}" in
  "") ;;
  --quick) labels="native|fuzz|static|wine" ;;
  --label)
    labels=${2:?"--label needs a label, e.g. e2e"} ;;
  *)
    sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2 ;;
esac

tree_state() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git status --porcelain --untracked-files=all
  fi
}
before=$(tree_state)

bash scripts/setup.sh
source scripts/winarch.bash
winarch_detect
winarch_banner
cmake -S . -B build -G Ninja -DZ_WINARCH="$Z_WINARCH" >/dev/null
cmake --build build
set +e
if [ -n "$labels" ]; then
  ctest --test-dir build --output-on-failure -j2 -L "$labels"
else
  ctest --test-dir build --output-on-failure -j2
fi
code=$?
set -e

after=$(tree_state)
if [ "$before" != "$after" ]; then
  echo "test: the run changed the work tree (files a test wrote outside build/):" >&2
  diff <(printf '%s\n' "$before") <(printf '%s\n' "$after") | sed -n 's/^> /  /p' >&2
  [ $code -eq 0 ] && code=1
fi
winarch_banner
exit $code
