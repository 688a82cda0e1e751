#!/usr/bin/env bash
# Makes the packages from the build trees of scripts/test.sh and checks them:
#   - the Debian package of the native tree (cpack), unpacked into a scratch
#     root with dpkg -x (the machine is not changed): its quorvel must start,
#     load its module from the unpacked tree, and the README's FFmpeg example
#     through the unpacked frei0r plugin must give quorvel's frames;
#   - the zip of the Windows modules of both Windows trees, listed, each
#     folder checked to hold modules of its width.
# Usage: scripts/package.sh [OUT]   (the folder of the build trees, default out/)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-${ZELT_OUT:-$root/out}}
native=$out/native

fail() {
  echo "package: $*" >&2
  exit 1
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cpack_variable() {
  sed -n "s/^set($1 \"\\(.*\\)\")\$/\\1/p" "$native/CPackConfig.cmake"
}
version=$(cpack_variable CPACK_PACKAGE_VERSION)
modules=$(cpack_variable CPACK_ZELT_MODULES | tr ';' ' ')
[ -n "$version" ] && [ -n "$modules" ] || fail "$native is not a configured native tree"
deb=$native/packages/quorvel_${version}_$(dpkg --print-architecture).deb
rm -f "$deb"
cpack --config "$native/CPackConfig.cmake" >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
[ -f "$deb" ] || fail "cpack did not make $deb"
dpkg-deb --field "$deb" Package Version Depends

# Unpacked elsewhere than its prefix: every host finds its modules relative to
# its own file. A plugin whose module were missing would fall back on the
# build tree, so each must have its own beside it.
prefix=$scratch/root/usr
dpkg-deb -x "$deb" "$scratch/root"
for m in $modules; do
  [ -f "$prefix/lib/quorvel/$m.so" ] || fail "the package lacks lib/quorvel/$m.so"
done
for plugin in "$prefix"/lib/frei0r-1/quorvel_*.so; do
  m=$(basename "$plugin" .so)
  [ -f "$prefix/lib/quorvel/${m#quorvel_}.so" ] || fail "the package lacks the module of $m"
done
[ -f "$prefix/lib/frei0r-1/quorvel_zelt_lpf.so" ] || fail "the package lacks the frei0r plugins"

quorvel=$prefix/bin/quorvel
"$quorvel" --version
cd "$scratch"
"$quorvel" sample --frames 3 capture.mkv
"$quorvel" --verbose --notch --min-harmonic 112 --max-harmonic 113 --dc-average capture.mkv quorvel.mkv 2>quorvel.log ||
  { cat quorvel.log >&2; fail "the installed quorvel failed"; }
grep -qF "module $prefix/bin/../lib/quorvel/zelt_lpf.so:" quorvel.log ||
  { cat quorvel.log >&2; fail "the installed quorvel did not load the installed module"; }
FREI0R_PATH=$prefix/lib/frei0r-1 ffmpeg -nostdin -v error -i capture.mkv \
  -vf "frei0r=quorvel_zelt_lpf:notch min=112 max=113 dc" -c:v ffv1 clean.mkv
for f in quorvel clean; do
  ffmpeg -nostdin -v error -i $f.mkv -pix_fmt bgr24 -f framemd5 $f.md5
done
cmp -s quorvel.md5 clean.md5 || fail "the installed frei0r plugin's frames differ from the installed quorvel's"
echo "package: $deb: installed quorvel and frei0r plugin checked"

# The Windows zip (cmake/packaging.cmake): folder x86 from the 32-bit tree, x64
# from the 64-bit one.
cmake --build "$native" --target windows_zip >"$scratch/zip.log" 2>&1 || { cat "$scratch/zip.log" >&2; fail "windows_zip failed"; }
zip=$native/packages/quorvel_${version}_windows.zip
cmake -E tar tvf "$zip"
mkdir "$scratch/zip"
(cd "$scratch/zip" && cmake -E tar xf "$zip")
for m in $modules; do
  [[ $(i686-w64-mingw32-objdump -f "$scratch/zip/x86/$m.vdf") == *"file format pei-i386"* ]] ||
    fail "x86/$m.vdf is not a 32-bit module"
  [[ $(x86_64-w64-mingw32-objdump -f "$scratch/zip/x64/$m.vdf") == *"file format pei-x86-64"* ]] ||
    fail "x64/$m.vdf is not a 64-bit module"
done
[ -s "$scratch/zip/README.txt" ] || fail "the zip lacks its README.txt"
echo "package: $zip checked"
