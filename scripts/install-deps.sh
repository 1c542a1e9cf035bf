#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root). Installs only what is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix
  googletest libgtest-dev libbenchmark-dev
  wine64 xvfb xauth libgl1-mesa-dri xdotool imagemagick x11-utils python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
