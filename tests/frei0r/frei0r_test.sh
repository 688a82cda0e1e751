#!/bin/bash
# The frei0r plugins inside real hosts give, frame for frame and byte for
# byte, what quorvel gives with the same settings.
# Usage: frei0r_test.sh QUORVEL FFMPEG PLUGIN_DIR WORK_DIR [GST_LAUNCH]
set -u
quorvel=$1 ffmpeg=$2 plugins=$3 work=$4 gst=${5:-}
[ -x "$ffmpeg" ] || { echo "no ffmpeg: skipped"; exit 77; }
"$ffmpeg" -hide_banner -filters 2>/dev/null | grep -q ' frei0r ' || { echo "ffmpeg without frei0r: skipped"; exit 77; }
export FREI0R_PATH=$plugins
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
passed=0 failed=0
check() {  # NAME FILE_A FILE_B
    if cmp -s "$2" "$3"; then passed=$((passed + 1)); else echo "FAIL: $1 ($2 and $3 differ)"; failed=$((failed + 1)); fi
}
ff() { "$ffmpeg" -v error -nostdin -y "$@"; }
colours() { ff -i "$1" -f rawvideo -pix_fmt bgr24 "$2"; }

"$quorvel" sample --quiet --frames 4 clip.mkv || exit 1

# The tone module with typed frequencies (a ',' inside a filter graph is
# escaped); FFmpeg reads a leading word=VALUE as an option name, hence
# filter_params=.
tone_f='frei0r=quorvel_zelt_tone:filter_params=tone=52.37\,113.6' tone_q="--tone 52.37,113.6"

# name # frei0r filter chain # quorvel runs, one per instance, ';'-separated
cases=(
  "notch_dc#frei0r=quorvel_zelt_lpf:notch min=100 max=180 dc#--notch --min-harmonic 100 --max-harmonic 180 --dc-average"
  "full_lpf#frei0r=quorvel_zelt_lpf:full harmonics=200#--full --harmonics 200"
  "display_lpf#frei0r=quorvel_zelt_lpf:display harmonics=300#--display-spectrum --harmonics 300"
  "temporal_zelt#frei0r=quorvel_zelt:dc temporal notch min=110 max=115#--module zelt --dc-average --temporal --notch --min-harmonic 110 --max-harmonic 115"
  "typed#frei0r=quorvel_zelt_lpf:|n|0.2|y|0.1|0.18#--notch --min-harmonic 100 --max-harmonic 180 --harmonics 200"
  "tone#$tone_f#$tone_q"
  "two_instances#frei0r=quorvel_zelt_lpf:dc temporal,frei0r=quorvel_zelt_lpf:notch min=100 max=180 full#--dc-average --temporal;--notch --min-harmonic 100 --max-harmonic 180 --full"
)
for c in "${cases[@]}"; do
    IFS='#' read -r name chain runs <<<"$c"
    ff -i clip.mkv -vf "$chain" -c:v ffv1 "$name.f.mkv" || { echo "FAIL: $name: ffmpeg"; failed=$((failed + 1)); continue; }
    in=clip.mkv i=0
    IFS=';' read -ra steps <<<"$runs"
    for s in "${steps[@]}"; do
        i=$((i + 1))
        # shellcheck disable=SC2086
        "$quorvel" --quiet $s "$in" "$name.q$i.mkv" || exit 1
        in=$name.q$i.mkv
    done
    colours "$name.f.mkv" "$name.f.raw" && colours "$in" "$name.q.raw"
    check "$name" "$name.f.raw" "$name.q.raw"
done

# Interlaced: a fields run equals its two fields cut out, each run through the
# plugin as a clip of its own, and woven back.
s="notch min=100 max=180 dc temporal"
ff -i clip.mkv -vf "frei0r=quorvel_zelt_lpf:$s fields=tff" -f rawvideo -pix_fmt bgr24 fields.f.raw
for f in top bottom; do
    ff -i clip.mkv -vf "field=$f,frei0r=quorvel_zelt_lpf:$s" -f rawvideo -pix_fmt bgr24 fields.$f.raw
done
ff -f rawvideo -pix_fmt bgr24 -s 720x288 -i fields.top.raw -f rawvideo -pix_fmt bgr24 -s 720x288 -i fields.bottom.raw \
    -filter_complex "[0][1]vstack,il=l=i:c=i" -f rawvideo -pix_fmt bgr24 fields.w.raw
check fields_by_hand fields.f.raw fields.w.raw

# Odd size with alpha through GStreamer's frei0r element (FFmpeg before 6.1
# hands frei0r padded rows when width x 4 is not a multiple of its alignment).
if [ -n "$gst" ] && [ -x "$gst" ]; then
    export GST_REGISTRY=$work/registry.bin
    ff -f lavfi -i "testsrc2=size=97x61:rate=25:duration=0.16,format=bgra,geq=b='b(X,Y)':g='g(X,Y)':r='r(X,Y)':a='mod(X*7+Y*3,256)'" \
        -c:v ffv1 -pix_fmt bgra odd.mkv
    ff -i odd.mkv -f rawvideo -pix_fmt bgra odd.bgra
    "$gst" -q filesrc location=odd.bgra ! rawvideoparse width=97 height=61 format=bgra framerate=25/1 \
        ! frei0r-filter-quorvel-zelt settings="notch min=2 max=9 dc temporal" ! filesink location=odd.g.bgra
    "$quorvel" --quiet --module zelt --notch --min-harmonic 2 --max-harmonic 9 --dc-average --temporal odd.mkv odd.q.mkv
    colours odd.q.mkv odd.q.raw
    ff -f rawvideo -pix_fmt bgra -s 97x61 -i odd.g.bgra -f rawvideo -pix_fmt bgr24 odd.g.raw
    check odd_size_gst odd.g.raw odd.q.raw
    for x in odd odd.g; do ff -f rawvideo -pix_fmt bgra -s 97x61 -i $x.bgra -vf alphaextract -f rawvideo -pix_fmt gray $x.alpha; done
    check alpha_kept odd.alpha odd.g.alpha
fi

# Alpha through FFmpeg, odd height.
ff -f lavfi -i "testsrc2=size=96x61:rate=25:duration=0.16,format=bgra,geq=b='b(X,Y)':g='g(X,Y)':r='r(X,Y)':a='mod(X*5+Y,256)'" \
    -c:v ffv1 -pix_fmt bgra alpha.mkv
ff -i alpha.mkv -vf "frei0r=quorvel_zelt_lpf:notch min=3 max=20 full harmonics=40" -c:v ffv1 -pix_fmt bgra alpha.f.mkv
for x in alpha alpha.f; do ff -i $x.mkv -vf alphaextract -f rawvideo -pix_fmt gray $x.alpha; done
check alpha_ffmpeg alpha.alpha alpha.f.alpha

# A bad word is reported and the frames pass unfiltered.
ff -i clip.mkv -vf "frei0r=quorvel_zelt_lpf:notch min=x" -c:v ffv1 bad.f.mkv 2>bad.err
colours clip.mkv clip.raw && colours bad.f.mkv bad.raw
check bad_word_passes clip.raw bad.raw
if [ "$(grep -c "min=x" bad.err)" = 1 ]; then passed=$((passed + 1)); else echo "FAIL: bad word not reported once"; failed=$((failed + 1)); fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
