#!/usr/bin/env bash
# Fuzzes both modules through their host interface with libFuzzer, under
# AddressSanitizer and UndefinedBehaviorSanitizer, in a clang build of its own
# (build-fuzz). Starts from the seed corpus in tests/fuzz/corpus; new inputs
# collect in build-fuzz/corpus-<module>, and a crash leaves its input in
# build-fuzz/artifacts-<module>/.
#
#   scripts/fuzz.sh             90 seconds per module (CI)
#   scripts/fuzz.sh 3600        an hour per module
#   FUZZ_JOBS=2 scripts/fuzz.sh 3600   two fuzzing processes per module
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-90}"
jobs="${FUZZ_JOBS:-1}"
build="${FUZZ_BUILD_DIR:-$here/build-fuzz}"

if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is missing (apt-get install clang libclang-rt-14-dev)" >&2
    exit 1
fi

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link" \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
    -DZELT_SANITIZE=address,undefined \
    -DZELT_FUZZ=ON -DZELT_CLI=OFF -DZELT_BENCH=OFF >/dev/null
ninja -C "$build" -j2 module_fuzz_zelt_lpf module_fuzz_zelt

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
status=0
for module in zelt_lpf zelt; do
    corpus="$build/corpus-$module"
    artifacts="$build/artifacts-$module"
    mkdir -p "$corpus" "$artifacts"
    echo "fuzz: $module for $seconds s"
    args=(-max_total_time="$seconds" -timeout=60 -rss_limit_mb=6144 -max_len=4096
          -print_final_stats=1 -artifact_prefix="$artifacts/")
    if [ "$jobs" -gt 1 ]; then
        args+=(-fork="$jobs")
    fi
    if ! "$build/tests/fuzz/module_fuzz_$module" "${args[@]}" "$corpus" "$here/tests/fuzz/corpus" \
            >"$build/fuzz-$module.log" 2>&1; then
        status=1
        tail -n 60 "$build/fuzz-$module.log" >&2
        echo "fuzz: $module FAILED; the input is in $artifacts/" >&2
    else
        grep -E "stat::number_of_executed_units|stat::peak_rss_mb|cov: " "$build/fuzz-$module.log" | tail -n 3
    fi
done
if [ "$status" -eq 0 ]; then
    echo "fuzz: both modules ran $seconds s without a finding"
fi
exit "$status"
