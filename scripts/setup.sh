#!/usr/bin/env bash
# Installs everything the build and the tests need from Debian's packages.
# Idempotent: when every package is present it does nothing.
set -euo pipefail

packages=(
  cmake make g++ ninja-build
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev
  libgtest-dev
  wine wine32:i386 wine64
  xvfb xauth x11-utils imagemagick
  zlib1g-dev
  clang libclang-rt-14-dev
  osslsigncode openssl
  python3 curl procps
  nginx-light
)

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
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
