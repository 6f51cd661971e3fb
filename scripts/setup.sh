#!/usr/bin/env bash
# Installs everything the build and the tests need from Debian's packages.
# Idempotent: when every package is present it does nothing. Wine's 32-bit loader
# (wine32:i386) only where this host runs 32-bit programs: elsewhere it could not start.
set -euo pipefail
source "$(dirname "$0")/winarch.bash"

packages=(
  cmake make g++ ninja-build
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev
  libgtest-dev
  wine wine64
  xvfb xauth x11-utils imagemagick
  zlib1g-dev libcurl4-openssl-dev
  clang-format
  clang libclang-rt-14-dev
  osslsigncode openssl
  python3 curl procps
  ccache
  nginx-light
)
i386=0
if host_runs_i386; then
  i386=1
  packages+=(wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
if [ $i386 = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
