#!/usr/bin/env bash
# The main job, end to end: build quorvel and the native modules, make the
# synthetic clip, show what `quorvel analyse` finds in it, clean it with the
# options analyse suggests, draw the spectrum of the input and of the output,
# and score both against the clean clip.
# Build tree: out/native; results: out/demo (ZELT_OUT overrides out/).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${ZELT_OUT:-$root/out}
jobs=${ZELT_JOBS:-2}
results=$out/demo

step() { printf '\n== %s\n' "$*"; }

step "Building quorvel and the modules"
cmake -S "$root" -B "$out/native" -G Ninja >/dev/null
ninja -C "$out/native" -j"$jobs" quorvel
quorvel=$out/native/bin/quorvel
"$quorvel" --version

mkdir -p "$results"
cd "$results"

step "Generating the sample: interference.mkv, and clean.mkv without the interference"
"$quorvel" sample --clean clean.mkv interference.mkv

step "What analyse finds"
"$quorvel" analyse interference.mkv | tee analysis.txt

# Full processing reaches every peak in its range; the notch band is the
# fallback when full processing has nothing to offer.
options=$(sed -n 's/^  full: *quorvel \(.*\) INPUT OUTPUT$/\1/p' analysis.txt)
if [[ -z "$options" ]]; then
  options=$(sed -n 's/^  notch: *quorvel \(.*\) INPUT OUTPUT$/\1/p' analysis.txt)
fi
if [[ -z "$options" ]]; then
  echo "analyse suggested nothing to remove" >&2
  exit 1
fi

step "Cleaning with: quorvel $options"
# shellcheck disable=SC2086  # the suggestion is a list of options
"$quorvel" -y $options interference.mkv cleaned.mkv

step "Spectrum pictures of the first frame (luma, V and U side by side, harmonics 0..351)"
"$quorvel" -y --quiet --display-spectrum --harmonics 352 --frames 1 interference.mkv spectrum-input.png
"$quorvel" -y --quiet --display-spectrum --harmonics 352 --frames 1 cleaned.mkv spectrum-output.png
echo "$results/spectrum-input.png"
echo "$results/spectrum-output.png"

step "PSNR against the clean clip"
echo "input:  $("$quorvel" compare clean.mkv interference.mkv)"
echo "output: $("$quorvel" compare clean.mkv cleaned.mkv)"
