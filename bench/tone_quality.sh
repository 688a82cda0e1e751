#!/usr/bin/env bash
# What the tone remover takes out, side by side with the alternatives, on
# clips with planted tones: FFmpeg's synthetic sources (mandelbrot, testsrc2)
# and quorvel's sample scene, 720 x 576, tones at fractional (drifting) and
# whole (locked) frequencies, with and without row flicker, and clean clips.
# Every case twice: planted in R, G and B of an RGB clip, where saturated
# colours clip the tone, and planted in Y of a 4:2:0 clip, as a capture
# carries it (fftfilt works on the Y plane either way).
# A tone runs on continuously through rows and frames (625 lines a frame):
# its phase advances by the fraction of its frequency from row to row, so a
# whole number of cycles per row stands still, as `quorvel sample
# --tone-frequency` plants it.
#
# Y-PSNR against the clip before the tone, of: the input; `quorvel --tone
# auto` (with the flicker correction analyse suggests, when it does); the
# suggestions of `quorvel analyse` (notch and tone); the notch at the true
# harmonic (locked tones); FFmpeg's fftfilt told the true frequency, at its
# best notch width. Then the goals as pass/fail lines.
#
#   bench/tone_quality.sh [NATIVE_BUILD_DIR]     (TONE_FRAMES per clip, default 8)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
native=${1:-$root/out/native}
ninja -C "$native" -j"${ZELT_JOBS:-2}" quorvel zelt_tone zelt_lpf >/dev/null
quorvel=$native/bin/quorvel
frames=${TONE_FRAMES:-8}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
W=720 H=576

# Y of both as 4:4:4 (the same conversion for every method).
psnrY() {
  ffmpeg -hide_banner -i "$1" -i "$2" -lavfi "[0]format=yuv444p[a];[1]format=yuv444p[b];[a][b]psnr" -f null - 2>&1 |
    grep -o 'PSNR y:[0-9.inf]*' | cut -d: -f2
}
# Two decimals ("-" where a method had nothing to offer, "inf" for identical).
r2() {
  awk -v v="$1" 'BEGIN { if (v == "-" || v ~ /inf/) print v; else printf "%.2f", v }'
}
# quorvel OPTIONS... on dirty.mkv, the PSNR of its output against clean.mkv.
cleaned() {
  # shellcheck disable=SC2068  # the options are a list
  "$quorvel" -y --quiet $@ "$work/dirty.mkv" "$work/out.mkv" >/dev/null 2>&1 && psnrY "$work/out.mkv" "$work/clean.mkv"
}

# The clean clip and the clip with the tone (frequency "-": none) and row
# flicker of +-A grey levels, in RGB or in Y of 4:2:0.
makeClips() {
  local src=$1 freq=$2 amp=$3 flicker=$4 space=$5
  if [[ $space == yuv ]]; then
    if [[ $src == sample ]]; then
      "$quorvel" sample --quiet --frames "$frames" --clean "$work/rgb.mkv" "$work/dirty.mkv" >/dev/null 2>&1
    else
      ffmpeg -hide_banner -loglevel error -y -f lavfi -i "$src=size=${W}x$H:rate=25" -frames "$frames" \
        -c:v ffv1 "$work/rgb.mkv"
    fi
    ffmpeg -hide_banner -loglevel error -y -i "$work/rgb.mkv" -vf format=yuv420p -c:v ffv1 "$work/clean.mkv"
  fi
  if [[ $space == yuv && $freq == - && $flicker == 0 ]]; then
    cp "$work/clean.mkv" "$work/dirty.mkv"
    return
  elif [[ $space == yuv ]]; then
    local add="0"
    [[ $freq == - ]] || add="$amp*cos(2*PI*($freq*X/W+$freq*(Y+625*N))+0.4)"
    add+="+$flicker*(2*mod(abs(sin(Y*12.9898+N*78.233))*43758.5453,1)-1)"
    ffmpeg -hide_banner -loglevel error -y -i "$work/clean.mkv" \
      -vf "geq=lum='clip(floor(lum(X,Y)+$add+0.5),0,255)':cb='cb(X,Y)':cr='cr(X,Y)'" -c:v ffv1 "$work/dirty.mkv"
    return
  fi
  if [[ $freq == - && $src == sample ]]; then
    "$quorvel" sample --quiet --frames "$frames" --clean "$work/clean.mkv" "$work/dirty.mkv" >/dev/null 2>&1
    cp "$work/clean.mkv" "$work/dirty.mkv"
    return
  elif [[ $src == sample ]]; then
    local tone=()
    [[ $freq == - ]] || tone=(--tone-frequency "$freq" --tone-amplitude "$amp")
    "$quorvel" sample --quiet --frames "$frames" "${tone[@]}" --flicker "$flicker" --clean "$work/clean.mkv" \
      "$work/dirty.mkv" >/dev/null 2>&1
    return
  fi
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "$src=size=${W}x$H:rate=25" -frames "$frames" -vf format=gbrp \
    -c:v ffv1 "$work/clean.mkv"
  if [[ $freq == - && $flicker == 0 ]]; then
    cp "$work/clean.mkv" "$work/dirty.mkv"
    return
  fi
  local add="0"
  [[ $freq == - ]] || add="$amp*cos(2*PI*($freq*X/W+$freq*(Y+625*N))+0.4)"
  # A reproducible offset in -A..A for each row and frame.
  add+="+$flicker*(2*mod(abs(sin(Y*12.9898+N*78.233))*43758.5453,1)-1)"
  local e="clip(floor(SRC(X,Y)+$add+0.5),0,255)"
  ffmpeg -hide_banner -loglevel error -y -i "$work/clean.mkv" \
    -vf "format=gbrp,geq=r='${e//SRC/r}':g='${e//SRC/g}':b='${e//SRC/b}'" -c:v ffv1 "$work/dirty.mkv"
}

# fftfilt on the luma told the true frequency: rows padded to 1024 samples,
# two values per bin; a band of half-widths 1..6 bins around the tone, over
# every vertical frequency, and for a locked tone also over the lowest 3 only
# (a tone standing still has none but the lowest). The best of them.
fftfiltBest() {
  local freq=$1 best=0 v c rows
  c=$(awk -v f="$freq" -v w=$W 'BEGIN { print 2 * f * 1024 / w }')
  local vertical=("1")
  awk -v f="$freq" 'BEGIN { exit !(f == int(f)) }' && vertical+=("lt(Y,3)")
  for half in 2 4 6 8 12; do
    for rows in "${vertical[@]}"; do
      ffmpeg -hide_banner -loglevel error -y -i "$work/dirty.mkv" \
        -vf "format=yuv444p,fftfilt=weight_Y='1-between(X,$c-$half,$c+$half)*$rows'" -c:v ffv1 "$work/f.mkv"
      v=$(psnrY "$work/f.mkv" "$work/clean.mkv")
      best=$(awk -v a="$v" -v b="$best" 'BEGIN { print (a > b) ? a : b }')
    done
  done
  echo "$best"
}

cases=(
  # source freq amplitude flicker
  "mandelbrot 52.37 7 0" "mandelbrot 23.61 3 3" "testsrc2 147.83 5 0" "testsrc2 286.40 10 3"
  "sample 52.37 7 3" "sample 201.55 4 0"
  "mandelbrot 112 6 0" "testsrc2 40 8 3" "sample 250 5 0"
  "mandelbrot - 0 0" "testsrc2 - 0 0" "sample - 0 0"
)
results=$work/results
: >"$results"
for space in rgb yuv; do
[[ $space == rgb ]] && echo "Planted in R, G and B (RGB clips):" || echo "Planted in Y (4:2:0 clips):"
printf '%-11s %7s %3s %4s | %6s %6s %6s %6s %6s %6s %7s | %s\n' source tone amp flkr input auto \
  notchS toneS notchH fftflt "auto/in" "analyse found"
for c in "${cases[@]}"; do
  read -r src freq amp flicker <<<"$c"
  makeClips "$src" "$freq" "$amp" "$flicker" "$space"
  input=$(psnrY "$work/dirty.mkv" "$work/clean.mkv")
  "$quorvel" analyse --frames "$frames" "$work/dirty.mkv" >"$work/analysis.txt"
  notch=$(sed -n 's/^  notch: *quorvel \(.*\) INPUT OUTPUT$/\1/p' "$work/analysis.txt")
  tone=$(sed -n 's/^  tone: *quorvel \(.*\) INPUT OUTPUT$/\1/p' "$work/analysis.txt")
  found=$(awk '/^ +[0-9.]+ +[0-9.]+ +[-+][0-9.]+ dB/ { printf "%s%s %s", sep, $1, $NF; sep = ", " }' \
    "$work/analysis.txt")
  dc=()
  grep -q -- '--dc-average' "$work/analysis.txt" && dc=(--dc-average)
  auto=$(cleaned --tone auto "${dc[@]}")
  notchS=- toneS=- notchH=- fft=- autoIn=-
  # Where analyse suggests no notch, what it does suggest (the flicker
  # correction alone, or nothing) stands in for it.
  if [[ -n $notch ]]; then
    notchS=$(cleaned "$notch")
  elif ((${#dc[@]})); then
    notchS=$(cleaned --dc-average)
  else
    notchS=$input
  fi
  [[ -n $tone ]] && toneS=$(cleaned "$tone")
  if [[ $freq == - ]]; then
    "$quorvel" -y --quiet --tone auto "$work/clean.mkv" "$work/out.mkv" >/dev/null 2>&1
    autoIn=$(psnrY "$work/out.mkv" "$work/clean.mkv")
  else
    fft=$(fftfiltBest "$freq")
    if awk -v f="$freq" 'BEGIN { exit !(f == int(f)) }'; then
      notchH=$(cleaned --notch --min-harmonic "$freq" --max-harmonic $((freq + 1)) "${dc[@]}")
    fi
  fi
  # auto without the flicker correction, for the comparison with fftfilt.
  autoPlain=$auto
  ((${#dc[@]})) && autoPlain=$(cleaned --tone auto)
  printf '%-11s %7s %3s %4s | %6s %6s %6s %6s %6s %6s %7s | %s\n' "$src" "$freq" "$amp" "$flicker" "$(r2 "$input")" \
    "$(r2 "$auto")" "$(r2 "$notchS")" "$(r2 "$toneS")" "$(r2 "$notchH")" "$(r2 "$fft")" "$(r2 "$autoIn")" "${found:-none}"
  echo "$src $freq $amp $flicker $input $auto $autoPlain $notchS $toneS $notchH $fft $autoIn $space" >>"$results"
done
echo
done

echo
echo "auto: quorvel --tone auto (with --dc-average where analyse suggests it); notchS, toneS: analyse's notch and"
echo "tone suggestions (notchS: where it suggests no notch, its flicker correction alone or nothing); notchH: the"
echo "notch at the true harmonic (with the same flicker correction); fftflt: fftfilt told the true frequency, best"
echo "width; auto/in: auto mode's output against its clean input. Y-PSNR in dB, $frames frames each. Against"
echo "fftfilt, which corrects no flicker, auto runs without --dc-average."
echo "The goals, for the clips planted in RGB (rgb) and in Y (yuv):"
echo
# The goals, one line per clip, then one per goal.
awk '
function judge(goal, ok, what) {
  goal = $13 ": " goal
  printf "%s  %-57s %s\n", ok ? "PASS" : "FAIL", goal, what
  if (!ok) failed[goal] = 1
  seen[goal] = 1
}
{
  src = $1; f = $2; auto = $6; plain = $7; notchS = $8; notchH = $10; fft = $11
  autoIn = $12 ~ /inf/ ? 999 : $12 + 0
  clip = src " " f " (amplitude " $3 ", flicker " $4 ")"
  if (f == "-") {
    judge("clean clips: auto >= 50 dB against the input", autoIn >= 50, sprintf("%s: %.2f dB", clip, autoIn))
  } else if (f != int(f)) {
    judge("drifting tones: auto >= fftfilt + 2 dB", plain >= fft + 2,
          sprintf("%s: %.2f vs %.2f, margin %+.2f dB", clip, plain, fft, plain - fft - 2))
    judge("drifting tones: auto >= notch suggestion + 3 dB", auto >= notchS + 3,
          sprintf("%s: %.2f vs %.2f, margin %+.2f dB", clip, auto, notchS, auto - notchS - 3))
  } else {
    judge("locked tones: auto >= notch at the harmonic", auto >= notchH,
          sprintf("%s: %.2f vs %.2f, margin %+.2f dB", clip, auto, notchH, auto - notchH))
  }
}
END {
  print ""
  for (g in seen) printf "%s  %s\n", (g in failed) ? "FAIL" : "PASS", g | "sort -k2"
}' "$results"
