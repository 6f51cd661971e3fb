#!/usr/bin/env bash
# Builds and installs only the vendor's tools, zpack and zpublish: optimised, without
# sanitizers, tests, Wine or nginx, and without root.
#
#   bash scripts/build-tools.sh [PREFIX]     (default PREFIX: ~/.local; the tools go to PREFIX/bin)
#
# Needs Debian's cmake, g++, zlib1g-dev and libcurl4-openssl-dev (scripts/setup.sh installs
# them with the rest). Z_TOOLS_BUILD_DIR names the build folder (default build-tools).
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${1:-$HOME/.local}
build=${Z_TOOLS_BUILD_DIR:-build-tools}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$build" "${generator[@]}" -DZ_TOOLS_ONLY=ON -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$build"
cmake --install "$build" >/dev/null
echo "zpack and zpublish installed in $prefix/bin"
