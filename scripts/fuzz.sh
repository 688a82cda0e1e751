#!/usr/bin/env bash
# Fuzzes every surface that takes outside input with libFuzzer, under
# AddressSanitizer and UndefinedBehaviorSanitizer, in a clang build of its own
# (build-fuzz):
#   zelt_lpf, zelt          the transform modules through their host interface
#   tone                    zelt_tone through its host interface
#   options                 quorvel's command line (needs FFmpeg's headers)
#   correction              quorvel's YUV correction path (needs FFmpeg's headers)
#   frei0r_zelt_lpf, frei0r_zelt, frei0r_zelt_tone
#                           the frei0r plugins' settings and parameters (needs frei0r.h)
# Each starts from its seed corpus in tests/fuzz (corpus, corpus_<target>);
# new inputs collect in build-fuzz/corpus-<target>. A finding stops that
# target with its input kept in build-fuzz/artifacts-<target>/, prints the
# command that replays it, and makes the script fail.
#
#   scripts/fuzz.sh                     every target for its CI time (5.5 minutes in all)
#   scripts/fuzz.sh 3600                every target for an hour
#   scripts/fuzz.sh 600 tone options    those targets for ten minutes each
#   FUZZ_JOBS=2 scripts/fuzz.sh 3600    two fuzzing processes per target
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds=""
if [ $# -gt 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
jobs="${FUZZ_JOBS:-1}"
build="${FUZZ_BUILD_DIR:-$here/build-fuzz}"
all=(zelt_lpf zelt tone options correction frei0r_zelt_lpf frei0r_zelt frei0r_zelt_tone)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=("${all[@]}")
fi

# Seconds of each target in CI: the module targets find the most, the
# command line saturates in seconds.
ci_seconds() {
    case $1 in
        zelt_lpf | zelt | tone | correction) echo 60 ;;
        frei0r_*) echo 20 ;;
        *) echo 30 ;;
    esac
}

binary() {
    case $1 in
        zelt_lpf | zelt) echo "module_fuzz_$1" ;;
        *) echo "$1_fuzz" ;;
    esac
}

seeds() {
    case $1 in
        zelt_lpf | zelt) echo "$here/tests/fuzz/corpus" ;;
        frei0r_*) echo "$here/tests/fuzz/corpus_frei0r" ;;
        *) echo "$here/tests/fuzz/corpus_$1" ;;
    esac
}

for t in "${targets[@]}"; do
    if [[ ! " ${all[*]} " =~ " $t " ]]; then
        echo "fuzz: unknown target '$t' (targets: ${all[*]})" >&2
        exit 2
    fi
done

if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is missing (apt-get install clang libclang-rt-14-dev)" >&2
    exit 1
fi

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link" \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
    -DZELT_SANITIZE=address,undefined \
    -DZELT_FUZZ=ON -DZELT_CLI=ON -DZELT_BENCH=OFF "${launcher[@]}" >/dev/null

# Only the targets this build has (FFmpeg's headers and frei0r.h are optional).
available=()
for t in "${targets[@]}"; do
    if ninja -C "$build" -t query "tests/fuzz/$(binary "$t")" >/dev/null 2>&1; then
        available+=("$t")
    else
        echo "fuzz: WARNING: no $t target in this build (its headers are missing); skipped" >&2
    fi
done
if [ ${#available[@]} -eq 0 ]; then
    echo "fuzz: nothing to fuzz" >&2
    exit 1
fi
names=()
for t in "${available[@]}"; do
    names+=("tests/fuzz/$(binary "$t")")
done
ninja -C "$build" -j"${ZELT_JOBS:-2}" "${names[@]}"

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
status=0
for t in "${available[@]}"; do
    secs=${seconds:-$(ci_seconds "$t")}
    exe="$build/tests/fuzz/$(binary "$t")"
    corpus="$build/corpus-$t"
    artifacts="$build/artifacts-$t"
    log="$build/fuzz-$t.log"
    mkdir -p "$corpus" "$artifacts"
    echo "fuzz: $t for $secs s"
    args=(-max_total_time="$secs" -timeout=60 -rss_limit_mb=6144 -max_len=4096
          -print_final_stats=1 -artifact_prefix="$artifacts/")
    dict="$here/tests/fuzz/$t.dict"
    if [ -f "$dict" ]; then
        args+=(-dict="$dict")
    fi
    if [ "$jobs" -gt 1 ]; then
        args+=(-fork="$jobs")
    fi
    marker="$artifacts/.started"
    touch "$marker"
    if ! "$exe" "${args[@]}" "$corpus" "$(seeds "$t")" >"$log" 2>&1; then
        status=1
        tail -n 60 "$log" >&2
        echo "fuzz: $t FAILED (log: $log)" >&2
        found=$(find "$artifacts" -type f -newer "$marker" ! -name .started | sort)
        if [ -z "$found" ]; then
            echo "fuzz: no input was kept; see the log" >&2
        fi
        for input in $found; do
            echo "fuzz: the input is kept in $input; replay it with" >&2
            echo "    ASAN_OPTIONS=$ASAN_OPTIONS UBSAN_OPTIONS=$UBSAN_OPTIONS $exe $input" >&2
        done
    else
        grep -E "^#[0-9]+[[:space:]]+DONE" "$log" | tail -n 1 || true
    fi
done
if [ "$status" -eq 0 ]; then
    echo "fuzz: ${available[*]}: no finding"
fi
exit "$status"
