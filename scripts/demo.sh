#!/usr/bin/env bash
# The main job: builds the native modules and passes a generated frame
# through both, loaded by file exactly as a host loads them.
# Build tree: out/native (ZELT_OUT overrides out/).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${ZELT_OUT:-$root/out}
jobs=${ZELT_JOBS:-2}

cmake -S "$root" -B "$out/native" -G Ninja >/dev/null
ninja -C "$out/native" -j"$jobs" zelt_smoke zelt_lpf zelt
"$out/native/bin/zelt_smoke" "$out/native/bin/zelt_lpf.so" "$out/native/bin/zelt.so"
