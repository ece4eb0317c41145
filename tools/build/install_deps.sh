#!/bin/sh
# Installs the Debian packages that building, running and testing need, and
# only those that are missing. Works as root, or through sudo for a user.
#
#   tools/build/install_deps.sh            the Linux build and its tests
#   tools/build/install_deps.sh windows    the Windows build (MinGW-w64), its installer (NSIS) and Wine
set -eu

PACKAGES="
cmake g++ make pkg-config
libsdl2-dev libx11-dev libfreeimage-dev libheif-dev libgtest-dev libbenchmark-dev
libswscale-dev libavutil-dev zlib1g-dev
xvfb openbox xdotool x11-utils imagemagick python3 python3-pil python3-xlib python3-numpy
desktop-file-utils dpkg-dev lintian libheif-examples
clang-14 libclang-rt-14-dev libtsan2
unifont console-setup-linux
"
if [ "${1:-}" = windows ]; then
    PACKAGES="
cmake make python3 python3-pil
g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
nsis wine wine64
"
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "Missing packages:$missing; run this as root or install sudo." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing
