#!/usr/bin/env bash
# The whole native test suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, in a build directory of its own
# (build-sanitize): every test, the replay of the fuzz seed corpus and the
# command-line host's runs included; benchmarks are left out. Warnings stay
# warnings here: GCC's flow analysis under the sanitizers reports uninitialised
# values inside the standard library that the regular build (-Werror) does not.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${SANITIZE_BUILD_DIR:-$here/build-sanitize}"

cmake -S "$here" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZELT_SANITIZE=address,undefined \
    -DZELT_WERROR=OFF -DZELT_BENCH=OFF >/dev/null
ninja -C "$build" -j2

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
ctest --test-dir "$build" -j2 --output-on-failure --timeout 900
