#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (as root, or through
# sudo). Packages already present are skipped, so a repeated run is quick.
#
#   scripts/setup.sh          everything: native and Windows builds, Wine tests
#   scripts/setup.sh demo     only what the native build and the demo need
set -euo pipefail

profile=${1:-all}
case "$profile" in
  all|demo) ;;
  *) echo "usage: $0 [all|demo]" >&2; exit 2 ;;
esac

native=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  imagemagick python3-matplotlib
  frei0r-plugins-dev gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad melt parallel dpkg-dev
)
extra=(
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb xauth xdotool
)
wanted=("${native[@]}")
if [ "$profile" = all ]; then
  wanted+=("${extra[@]}")
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for p in "${wanted[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: everything is installed"
  exit 0
fi

# wine32 is a 32-bit package.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq "${missing[@]}"
