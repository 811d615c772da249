#!/usr/bin/env bash
# Installs what the build and the test legs need from Debian's packages.
#   scripts/install-deps.sh          everything (all test legs)
#   scripts/install-deps.sh --native the native build only
set -euo pipefail

native=(cmake ninja-build g++ googletest)
# Codecs of the image-file library (the build leaves it out without them).
native+=(libpng-dev libjpeg62-turbo-dev libtiff-dev libgif-dev libwebp-dev)
all=("${native[@]}" libbenchmark-dev clang-format g++-multilib
     g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
     binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 qemu-user
     clang libclang-rt-14-dev)

# The install test: consumers built through pkg-config.
all+=(pkgconf)

# Peers that tests compare against (Pillow, ImageMagick) and that
# bench/peers.py times next to the library (OpenCV, numpy, Pillow).
peers=(python3-pil imagemagick python3-opencv python3-numpy)
all+=("${peers[@]}")
# The pelc command's manual page is made from its help text.
all+=(help2man)

if [[ "${1:-}" == "--native" ]]; then wanted=("${native[@]}"); else wanted=("${all[@]}"); fi

missing=()
for pkg in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
((${#missing[@]})) || exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ "$(id -u)" -eq 0 ]] || sudo=(sudo)
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
