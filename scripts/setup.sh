#!/usr/bin/env bash
# Installs everything a fresh Debian 12 machine needs to build and test Cartscope:
# native and mingw-w64 tool chains, Wine (64- and 32-bit), Xvfb, the libraries,
# and libcurl built for the 32-bit program (cached outside the repository).
# Safe to run again: it only installs and builds what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev
  libcli11-dev libexpat1-dev libpng-dev zlib1g-dev libstb-dev libssl-dev libcurl4-openssl-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  mingw-w64-tools binutils-mingw-w64 libz-mingw-w64-dev
  wine wine64 wine32:i386
  xvfb xauth imagemagick
  dpkg-dev lintian python3 openssl
  wixl msitools osslsigncode zip unzip
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  echo "setup: installing ${missing[*]:-(package lists only)}"
  $sudo apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
else
  echo "setup: all packages present"
fi

# libcurl for mingw: built once from Debian's source package, then cached.
bash "$(dirname "$0")/build-curl-mingw.sh" >/dev/null
