#!/bin/bash
# A folder cleaned with GNU parallel, as the README shows: four clips through
# `parallel -j2 quorvel ...` give, byte for byte, what four runs one after
# another give; a missing input fails its own job only, parallel's status says
# so, and every other output is still made, with no temporary file left.
# Usage: batch_test.sh QUORVEL FFMPEG WORK_DIR
set -u
quorvel=$1 ffmpeg=$2 work=$3
command -v parallel >/dev/null || { echo "no GNU parallel: skipped"; exit 77; }
[ -x "$ffmpeg" ] || { echo "no ffmpeg to make the clips: skipped"; exit 77; }
rm -rf "$work" && mkdir -p "$work/in" "$work/serial" "$work/parallel" && cd "$work" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

# Four small clips that differ in content, size and length.
ff() { "$ffmpeg" -v error -nostdin -y "$@"; }
ff -f lavfi -i testsrc2=size=160x120:rate=25:duration=0.2 -c:v ffv1 -pix_fmt bgr0 in/a.mkv &&
    ff -f lavfi -i mandelbrot=size=128x96:rate=25 -frames:v 4 -c:v ffv1 -pix_fmt bgr0 in/b.mkv &&
    ff -f lavfi -i testsrc=size=96x64:rate=25:duration=0.12 -c:v ffv1 -pix_fmt bgr0 in/c.mkv &&
    ff -f lavfi -i smptebars=size=200x80:rate=25:duration=0.16 -c:v ffv1 -pix_fmt bgr0 in/d.mkv || exit 1

options=(--quiet --notch --min-harmonic 3 --max-harmonic 9 --dc-average --temporal)
for f in in/*.mkv; do
    n=$(basename "$f" .mkv)
    "$quorvel" "${options[@]}" "$f" "serial/$n.mkv" || exit 1
done

parallel -j2 "$quorvel" "${options[@]}" {} parallel/{/.}.mkv ::: in/*.mkv in/missing.mkv 2>parallel.err
status=$?
[ "$status" = 1 ] || fail "parallel's status is $status, not 1 for the one missing input"
grep -q "missing.mkv" parallel.err || fail "the missing input is not named on stderr"
for f in serial/*.mkv; do
    n=$(basename "$f" .mkv)
    # Decoded frames: the container may differ in what it says of itself.
    ff -i "$f" -f framemd5 "serial/$n.md5" && ff -i "parallel/$n.mkv" -f framemd5 "parallel/$n.md5" &&
        cmp -s "serial/$n.md5" "parallel/$n.md5" || fail "$n: parallel output differs from the serial one"
done
left=$(cd parallel && ls -A | grep -v '\.md5$' | sort | tr '\n' ' ')
[ "$left" = "a.mkv b.mkv c.mkv d.mkv " ] || fail "the parallel folder holds '$left'"

[ "$failed" = 0 ] && echo "parallel batch equals the serial one"
[ "$failed" = 0 ]
