#!/usr/bin/env bash
# The speed goals in one run: builds the benchmarks (native) and the 32-bit
# modules, runs the benchmarks with repetitions, times the MMX modules under
# Wine, times the README's main job end to end, and writes bench/results/
# {bench.json,wine.json,e2e.txt,summary.md,scaling.png}, and measures the YUV
# correction: its kernels against swscale (correction.json, correction.txt)
# and the notch through it against fftfilt (correction_quality.txt), and the
# tone remover's cost (tone_speed.txt) and what it takes out
# (tone_quality.txt).
#
#   bench/run_all.sh [NATIVE_BUILD_DIR [WIN32_BUILD_DIR]]
# Defaults: out/native and out/win32 (configured here when missing).
# REPETITIONS (default 5) and FRAMES (Wine frames per case, default 12).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
native=${1:-$root/out/native}
win=${2:-$root/out/win32}
results=$root/bench/results
jobs=${ZELT_JOBS:-2}
mkdir -p "$results"

[ -f "$native/build.ninja" ] || cmake -S "$root" -B "$native" -G Ninja >/dev/null
ninja -C "$native" -j"$jobs" zelt_bench quorvel correction_bench
if [ ! -f "$win/build.ninja" ]; then
  cmake -S "$root" -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
fi
ninja -C "$win" -j"$jobs" zelt zelt_lpf frame_timing

# What the goals need: the peak and the clock, full processing over the
# scaling sweep, the floor of small N, the stages at the scalar and the best
# level, and the whole-frame kernels.
filter='maddPeak|coreClock|BM_Full|BM_UnpackPackFrame|BM_Notch/|BM_DcAverage/|BM_SpectrumDisplay(Lpf|Bars)/[04]/|BM_Display(Clear|Graticule)'
filter+='|Frame720x576/avx512'
"$native/bench/zelt_bench" --benchmark_filter="$filter" --benchmark_repetitions="${REPETITIONS:-5}" \
  --benchmark_min_time=0.3 --benchmark_out="$results/bench.json" --benchmark_out_format=json

"$root/bench/win32/run_timing.sh" "$win" "$results/wine.json" "${FRAMES:-12}" 10 352

# End to end: the README's main job (the sample clip, cleaned with the options
# analyse suggests), three runs each, quorvel's own summary line and the
# process's CPU time.
clip=$(mktemp -d)
trap 'rm -rf "$clip"' EXIT
quorvel=$native/bin/quorvel
"$quorvel" sample "$clip/interference.mkv" 2>/dev/null
: >"$results/e2e.txt"
# Each suggestion as quorvel runs it (decoding and encoding on threads of their
# own) and all on one thread.
while read -r options; do
  for _ in 1 2 3; do
    # shellcheck disable=SC2086  # the suggestion is a list of options
    /usr/bin/time -f "cpu %U %S" -o "$clip/time" "$quorvel" -y $options "$clip/interference.mkv" "$clip/out.mkv" \
      2>"$clip/log"
    echo "$options | $(grep -o '[0-9]* frames.*fps)' "$clip/log") | $(cat "$clip/time")" >>"$results/e2e.txt"
  done
done < <("$quorvel" analyse "$clip/interference.mkv" | sed -n 's/^  [a-z]*: *quorvel \(.*\) INPUT OUTPUT$/\1/p' |
  sed 'p; s/$/ --serial/')

# The YUV correction: its cost beside a swscale round trip (the ratios are
# the last lines), and what the notch through it removes.
"$native/bench/correction_bench" --benchmark_color=false --benchmark_repetitions="${REPETITIONS:-5}" --benchmark_min_time=0.3 \
  --benchmark_out="$results/correction.json" --benchmark_out_format=json | tee "$results/correction.txt"
"$root/bench/correction_quality.sh" "$native" | tee "$results/correction_quality.txt"

# The tone remover's cost per 720 x 576 frame: estimation with 0, 1 and 4
# tones, removal at the scalar and the best level (min of the repetitions is
# the figure on a busy machine).
"$native/bench/zelt_bench" --benchmark_filter='BM_Tone' --benchmark_repetitions="${REPETITIONS:-5}" \
  --benchmark_color=false | tee "$results/tone_speed.txt"

# The tone remover on clips with planted drifting and locked tones, beside
# analyse's suggestions and fftfilt told the true frequency; the goals as
# pass/fail lines at the end.
"$root/bench/tone_quality.sh" "$native" | tee "$results/tone_quality.txt"

# Debian's interpreter, where python3-matplotlib lives (another python3 may
# come first on PATH).
py=/usr/bin/python3
[ -x "$py" ] || py=python3
"$py" "$root/bench/report.py" "$results/bench.json" "$results/wine.json" "$results"
echo "End to end (quorvel, the sample clip):"
cat "$results/e2e.txt"
