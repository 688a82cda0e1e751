#!/usr/bin/env bash
# quorvel against bad input and a hostile file system: truncated, corrupt and
# empty files, pictures of 1 x 1 and 8000 x 10, widths that are odd or below 4,
# a directory or the input itself as OUTPUT, unwritable places, a full disk and
# an interrupt in the middle of a run.
#
# Whatever goes wrong: a "quorvel: error:" message that names the problem, a
# non-zero status, no output (an existing one left as it was) and no temporary
# file beside it, and the input untouched. Sizes the modules must take go
# through and come out at their own size.
#
# Usage: bad_input_test.sh QUORVEL FFMPEG WORK_DIRECTORY
# Exits 77 (skipped) without ffmpeg; the full-disk and read-only cases that
# need mount are skipped, with a note, where mounting is not permitted.
set -u

quorvel=$1
ffmpeg=${2:-}
work=$3
if [ -z "$ffmpeg" ] || ! [ -x "$ffmpeg" ]; then
    echo "skip: ffmpeg is needed to make the test pictures"
    exit 77
fi
ffprobe=$(dirname "$ffmpeg")/ffprobe

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
mounts=()
cleanup() {
    for m in "${mounts[@]}"; do
        umount "$m" 2>/dev/null || true
    done
}
trap cleanup EXIT

passed=0
failed=0
ok() {
    passed=$((passed + 1))
    echo "ok   $1"
}
bad() {
    failed=$((failed + 1))
    echo "FAIL $1: $2"
    [ -f err.txt ] && sed 's/^/     | /' err.txt
}

# A picture of w x h grey pixels (the value of byte $3, octal) as PNG.
picture() {
    local w=$1 h=$2 name=$3
    head -c $((w * h * 3)) /dev/zero | tr '\000' '\125' >raw.rgb
    "$ffmpeg" -v error -y -f rawvideo -pix_fmt rgb24 -s "${w}x${h}" -i raw.rgb "$name" || exit 1
    rm -f raw.rgb
}

# What is left beside an output: the output itself or a temporary file.
leftovers() {
    local out=$1 dir
    dir=$(dirname "$out")
    ls -A "$dir" 2>/dev/null | grep -E "^\.quorvel-" || true
}

# refuses NAME MESSAGE OUTPUT [quorvel arguments...]: the run must fail.
# Every file named in the arguments that exists is an input that must stay
# as it was.
refuses() {
    local name=$1 message=$2 out=$3
    shift 3
    local inputs=() sums=() a
    for a in "$@"; do
        if [ -f "$a" ] && [ "$a" != "$out" ]; then
            inputs+=("$a")
            sums+=("$(cksum <"$a")")
        fi
    done
    local before=""
    [ -f "$out" ] && before=$(cksum <"$out")
    [ -d "$out" ] && before="directory: $(ls -A "$out" | tr '\n' ' ')"
    "$quorvel" "$@" >out.txt 2>err.txt
    local status=$?
    if [ "$status" -eq 0 ]; then
        bad "$name" "status 0"
        return
    fi
    if ! grep -q "quorvel: error: " err.txt || ! grep -qF -- "$message" err.txt; then
        bad "$name" "no error naming '$message' (status $status)"
        return
    fi
    if [ -d "$out" ]; then
        if [ "directory: $(ls -A "$out" | tr '\n' ' ')" != "$before" ]; then
            bad "$name" "the directory '$out' changed"
            return
        fi
    elif [ -n "$before" ]; then
        if [ "$(cksum <"$out")" != "$before" ]; then
            bad "$name" "the existing output '$out' changed"
            return
        fi
    elif [ -e "$out" ]; then
        bad "$name" "output '$out' was left behind"
        return
    fi
    if [ -n "$(leftovers "$out")" ]; then
        bad "$name" "temporary files left: $(leftovers "$out")"
        return
    fi
    local i
    for i in "${!inputs[@]}"; do
        if [ "$(cksum <"${inputs[$i]}")" != "${sums[$i]}" ]; then
            bad "$name" "input '${inputs[$i]}' changed"
            return
        fi
    done
    ok "$name (status $status)"
}

# accepts NAME OUTPUT WIDTH HEIGHT [quorvel arguments...]: the run must
# succeed and write a picture of the input's size.
accepts() {
    local name=$1 out=$2 w=$3 h=$4
    shift 4
    rm -f "$out"
    "$quorvel" "$@" >out.txt 2>err.txt
    local status=$?
    if [ "$status" -ne 0 ]; then
        bad "$name" "status $status"
        return
    fi
    if ! [ -s "$out" ]; then
        bad "$name" "no output"
        return
    fi
    if [ -x "$ffprobe" ]; then
        local size
        size=$("$ffprobe" -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$out")
        if [ "$size" != "${w}x${h}" ]; then
            bad "$name" "output is $size, not ${w}x${h}"
            return
        fi
    fi
    if [ -n "$(leftovers "$out")" ]; then
        bad "$name" "temporary files left: $(leftovers "$out")"
        return
    fi
    ok "$name"
}

stages=(--notch --min-harmonic 0 --max-harmonic 9 --dc-average --temporal --full --harmonics 9)

# ---------------------------------------------------------------- inputs

"$quorvel" sample --quiet --frames 8 clip.mkv || exit 1
size=$(stat -c %s clip.mkv)
head -c $((size / 2)) clip.mkv >truncated.mkv
head -c 2000 clip.mkv >header-only.mkv
: >empty.mkv
: >empty.png
# Damaged frame data: runs of 0xFF over the middle third of the clip.
cp clip.mkv corrupt.mkv
head -c 64 /dev/zero | tr '\000' '\377' >ff.bin
for k in $(seq 0 39); do
    dd if=ff.bin of=corrupt.mkv bs=1 seek=$((size / 3 + k * 3001)) conv=notrunc status=none
done
# A damaged container header.
cp clip.mkv bad-header.mkv
dd if=ff.bin of=bad-header.mkv bs=1 seek=0 conv=notrunc status=none
printf 'not a picture\n' >text.png
picture 1 1 one.png
picture 8000 10 wide.png
for s in 2x2 3x3 1x7 3x8 7x5 5x4 9x3; do
    picture "${s%x*}" "${s#*x}" "s$s.png"
done

# ---------------------------------------------------------------- damaged input

refuses "truncated video" "damaged input 'truncated.mkv'" out.mkv --quiet --full truncated.mkv out.mkv
refuses "video cut inside its header" "header-only.mkv" out.mkv --quiet header-only.mkv out.mkv
refuses "corrupt frame data" "damaged input 'corrupt.mkv'" out.mkv --quiet --notch corrupt.mkv out.mkv
refuses "corrupt container header" "bad-header.mkv" out.mkv --quiet bad-header.mkv out.mkv
refuses "zero-byte video" "cannot open input 'empty.mkv'" out.mkv --quiet empty.mkv out.mkv
refuses "zero-byte picture" "cannot open input 'empty.png'" out.png --quiet empty.png out.png
refuses "text named as a picture" "text.png" out.png --quiet text.png out.png
refuses "missing input" "cannot open input 'missing.mkv'" out.mkv --quiet missing.mkv out.mkv
printf 'old' >keep.mkv
refuses "corrupt input over an existing output" "damaged input" keep.mkv -y --quiet corrupt.mkv keep.mkv
refuses "truncated video analysed" "damaged input 'truncated.mkv'" none analyse truncated.mkv

# ---------------------------------------------------------------- sizes

accepts "1 x 1 through every stage" one-out.png 1 1 --quiet "${stages[@]}" one.png one-out.png
accepts "1 x 1 spectrum display" one-display.png 1 1 --quiet --display-spectrum one.png one-display.png
accepts "1 x 1 spectrum display (zelt)" one-bars.png 1 1 --quiet --module zelt --display-spectrum one.png one-bars.png
accepts "8000 x 10 through every stage" wide-out.png 8000 10 --quiet "${stages[@]}" wide.png wide-out.png
accepts "8000 x 10 spectrum display" wide-display.png 8000 10 --quiet --display-spectrum wide.png wide-display.png
for s in 2x2 3x3 1x7 3x8 7x5 5x4 9x3; do
    w=${s%x*}
    h=${s#*x}
    for module in zelt_lpf zelt; do
        accepts "$s through every stage ($module)" "o$s-$module.png" "$w" "$h" --quiet --module "$module" "${stages[@]}" \
            "s$s.png" "o$s-$module.png"
        accepts "$s spectrum display ($module)" "d$s-$module.png" "$w" "$h" --quiet --module "$module" \
            --display-spectrum "s$s.png" "d$s-$module.png"
    done
    accepts "$s into a video" "v$s.mkv" "$w" "$h" --quiet --full "s$s.png" "v$s.mkv"
done

# ---------------------------------------------------------------- outputs

mkdir -p outdir dir.mkv
refuses "a directory as OUTPUT" "'outdir' is a directory" outdir --quiet one.png outdir
refuses "a directory with an extension as OUTPUT" "'dir.mkv' is a directory" dir.mkv --quiet clip.mkv dir.mkv
cp one.png same.png
refuses "the input as OUTPUT" "is the input itself" same.png --quiet --full same.png same.png
refuses "the input as OUTPUT by another name" "is the input itself" ./same.png --quiet --full same.png ./same.png
refuses "OUTPUT in a missing directory" "cannot write 'nodir/out.png'" nodir/out.png --quiet one.png nodir/out.png
: >afile
refuses "OUTPUT below a plain file" "cannot write 'afile/out.png'" afile/out.png --quiet one.png afile/out.png
refuses "OUTPUT on a read-only file system" "cannot write '/proc/out.png'" /proc/out.png --quiet one.png /proc/out.png

mkdir -p readonly
if [ "$(id -u)" -ne 0 ]; then
    chmod 555 readonly
    refuses "OUTPUT in a directory without write permission" "cannot write 'readonly/out.png'" readonly/out.png \
        --quiet one.png readonly/out.png
elif mount -t tmpfs -o ro,size=64k tmpfs readonly 2>/dev/null; then
    mounts+=("$work/readonly")
    refuses "OUTPUT on a read-only mount" "cannot write 'readonly/out.png'" readonly/out.png \
        --quiet one.png readonly/out.png
else
    echo "skip OUTPUT on a read-only mount: mount is not permitted here"
fi

# A full disk: a small tmpfs where mount is permitted, and everywhere a file
# size limit (the write then fails with EFBIG, as with ENOSPC).
mkdir -p small
if mount -t tmpfs -o size=256k tmpfs small 2>/dev/null; then
    mounts+=("$work/small")
    refuses "a full disk (video)" "No space left on device" small/out.mkv --quiet --full clip.mkv small/out.mkv
    refuses "a full disk (sequence)" "No space left on device" small/f_%03d.bmp --quiet clip.mkv small/f_%03d.bmp
    if [ -n "$(ls -A small)" ]; then
        bad "a full disk leaves nothing" "left: $(ls -A small | tr '\n' ' ')"
    else
        ok "a full disk leaves nothing"
    fi
else
    echo "skip a full disk (tmpfs): mount is not permitted here"
fi
(
    ulimit -f 256
    trap '' XFSZ
    refuses "a file size limit" "File too large" limited.mkv --quiet clip.mkv limited.mkv
    echo "$passed $failed" >counts.txt
)
read -r passed failed <counts.txt

# ---------------------------------------------------------------- interrupt

# interrupted NAME OUTPUT [arguments...]: SIGINT once the run is writing.
interrupted() {
    local name=$1 out=$2
    shift 2
    local sum
    sum=$(cksum <long.mkv)
    "$quorvel" "$@" >out.txt 2>err.txt &
    local pid=$! waited=0
    while [ -z "$(leftovers "$out")" ] && [ "$waited" -lt 300 ] && kill -0 "$pid" 2>/dev/null; do
        sleep 0.1
        waited=$((waited + 1))
    done
    kill -INT "$pid" 2>/dev/null
    wait "$pid"
    local status=$?
    if [ "$status" -ne 130 ]; then
        bad "$name" "status $status, not 130"
    elif ! grep -q "quorvel: error: interrupted" err.txt; then
        bad "$name" "no message"
    elif [ -e "$out" ] || [ -n "$(leftovers "$out")" ] || ls "${out%%_*}"_* >/dev/null 2>&1; then
        bad "$name" "output left behind"
    elif [ "$(cksum <long.mkv)" != "$sum" ]; then
        bad "$name" "input changed"
    else
        ok "$name"
    fi
}

"$quorvel" sample --quiet --frames 60 long.mkv || exit 1
interrupted "SIGINT while writing a video" int.mkv --quiet --full --harmonics 300 long.mkv int.mkv
interrupted "SIGINT while writing a sequence" seq_%03d.png --quiet --full --harmonics 300 long.mkv seq_%03d.png

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
