#!/usr/bin/env bash
# The notch through the YUV correction against FFmpeg's fftfilt on 4:2:2
# clips with a planted line-locked tone (harmonic 112 of 720, amplitude 6,
# same phase on every row and frame, rounded into the 8-bit luma): Y-PSNR
# against the clip before the tone, 25 frames each. The notch runs with the
# module's picture at studio levels (the default) and stretched to 0..255;
# fftfilt gets the best of a range of notch widths at the tone's place in
# its spectrum (it pads the rows to 1024, two values per bin). Beside them,
# quorvel's tone remover, finding the tone itself and told the harmonic, on
# the same clip (written as 4:2:2 FFV1, corrected on its own samples the same
# way); the margins in brackets are over fftfilt.
#
#   bench/correction_quality.sh [NATIVE_BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
native=${1:-$root/out/native}
ninja -C "$native" -j"${ZELT_JOBS:-2}" correction_quality zelt_lpf zelt_tone quorvel >/dev/null
tool=$native/bench/correction_quality
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
raw=(-f rawvideo -pix_fmt yuv422p -s 720x576)

psnrY() {
  ffmpeg -hide_banner "${raw[@]}" -i "$1" "${raw[@]}" -i "$work/clean.yuv" -lavfi psnr -f null - 2>&1 |
    grep -o 'PSNR y:[0-9.inf]*' | cut -d: -f2
}

for src in "testsrc2=size=720x576:rate=25" "smptebars=size=720x576:rate=25" \
           "mandelbrot=size=720x576:rate=25" \
           "cellauto=s=720x576:rate=25:seed=1,format=gray,gblur=sigma=2,format=yuv422p"; do
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "$src" -frames 25 -pix_fmt yuv422p -f rawvideo "$work/clean.yuv"
  ffmpeg -hide_banner -loglevel error -y "${raw[@]}" -i "$work/clean.yuv" \
    -vf "geq=lum='lum(X,Y)+6*sin(2*PI*112*X/720+1)+0.5':cb='cb(X,Y)':cr='cr(X,Y)'" -f rawvideo "$work/tone.yuv"
  notch=(--notch --min-harmonic 112 --max-harmonic 113)
  "$tool" yuv422p 720x576 "$work/tone.yuv" "$work/n.yuv" "${notch[@]}" 2>/dev/null
  studio=$(psnrY "$work/n.yuv")
  "$tool" --flat yuv422p 720x576 "$work/tone.yuv" "$work/n.yuv" "${notch[@]}" 2>/dev/null
  flat=$(psnrY "$work/n.yuv")
  "$tool" yuv422p 720x576 "$work/clean.yuv" "$work/n.yuv" "${notch[@]}" 2>/dev/null
  own=$(psnrY "$work/n.yuv")
  best=0
  for band in 316,321 314,323 312,325 310,327 308,329 306,331 302,335; do
    for rows in 1 3; do
      ffmpeg -hide_banner -loglevel error -y "${raw[@]}" -i "$work/tone.yuv" \
        -vf "fftfilt=weight_Y='1-between(X,$band)*lt(Y,$rows)'" -f rawvideo "$work/f.yuv"
      v=$(psnrY "$work/f.yuv")
      best=$(awk -v a="$v" -v b="$best" 'BEGIN { print (a > b) ? a : b }')
    done
  done
  ffmpeg -hide_banner -loglevel error -y "${raw[@]}" -i "$work/tone.yuv" -c:v ffv1 -color_range tv \
    -colorspace bt470bg "$work/tone.mkv"
  toneRun() {
    "$native/bin/quorvel" -y --quiet --tone "$1" "$work/tone.mkv" "$work/t.mkv"
    ffmpeg -hide_banner -loglevel error -y -i "$work/t.mkv" -f rawvideo -pix_fmt yuv422p "$work/t.yuv"
    psnrY "$work/t.yuv"
  }
  auto=$(toneRun auto)
  typed=$(toneRun 112)
  printf '%-11s tone %6.2f  notch %6.2f (0..255: %6.2f; on the clean clip %6.2f)  fftfilt %6.2f  margin %+5.2f dB' \
    "${src%%=*}" "$(psnrY "$work/tone.yuv")" "$studio" "$flat" "$own" "$best" \
    "$(awk -v a="$studio" -v b="$best" 'BEGIN { print a - b }')"
  printf '  | --tone auto %6.2f (%+5.2f)  --tone 112 %6.2f (%+5.2f dB)\n' "$auto" \
    "$(awk -v a="$auto" -v b="$best" 'BEGIN { print a - b }')" "$typed" \
    "$(awk -v a="$typed" -v b="$best" 'BEGIN { print a - b }')"
done
