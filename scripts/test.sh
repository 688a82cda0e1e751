#!/usr/bin/env bash
# Builds both builds and runs every test:
#   1. native (Linux x86-64) with warnings as errors, then ctest; the same
#      suite under AddressSanitizer and UndefinedBehaviorSanitizer, and a
#      bounded fuzzing run of both modules (scripts/sanitize.sh, fuzz.sh);
#   2. the 32-bit Windows cross build (MinGW-w64; warnings shown, not fatal),
#      then ctest, which runs the Windows tests under Wine in a throw-away
#      prefix inside the build tree, with an Xvfb display started here when
#      none is set, and compares each .vdf with the native module of step 1.
#      On a machine whose kernel cannot run 32-bit x86 programs (no IA32
#      emulation), Wine cannot start: the Windows build is still made and its
#      exports checked, the Wine tests are skipped with a warning, and
#      ZELT_REQUIRE_WINE=1 turns that into a failure.
# Build trees: out/native and out/win32 (ZELT_OUT overrides out/).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${ZELT_OUT:-$root/out}
jobs=${ZELT_JOBS:-2}

cmake -S "$root" -B "$out/native" -G Ninja -DZELT_WERROR=ON
ninja -C "$out/native" -j"$jobs"
ctest --test-dir "$out/native" -j"$jobs" --output-on-failure

# Robustness: the native suite again under the sanitizers, then both modules
# fuzzed for FUZZ_SECONDS each (0 skips the fuzzing).
SANITIZE_BUILD_DIR="$out/sanitize" "$root/scripts/sanitize.sh"
if [ "${FUZZ_SECONDS:-150}" -gt 0 ]; then
  FUZZ_BUILD_DIR="$out/fuzz" "$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-150}"
fi

win="$out/win32"
windows_start=$SECONDS
# The Windows tests compare each .vdf with the native module built above.
cmake -S "$root" -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DZELT_WERROR=OFF \
  -DZELT_NATIVE_BUILD_DIR="$out/native"
ninja -C "$win" -j"$jobs"

# The 32-bit Wine loader is itself a 32-bit program: if it cannot start, no
# Windows test can.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "test: WARNING: this machine cannot run 32-bit x86 programs (no IA32 support in the kernel)," >&2
  echo "test: WARNING: so the .vdf modules are built and their exports checked, but not run under Wine." >&2
  if [ "${ZELT_REQUIRE_WINE:-0}" = 1 ]; then
    exit 1
  fi
  # Every other test of the cross build runs a Windows program.
  ctest --test-dir "$win" -j"$jobs" --output-on-failure -R '\.exports$'
  echo "test: the Windows build and its checks took $((SECONDS - windows_start)) s (Wine tests skipped)"
  exit 0
fi

export WINEPREFIX="$win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test: creating the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi

if [ -z "${DISPLAY:-}" ]; then
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
    n=$((n + 1))
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  export DISPLAY=":$n"
fi

ctest --test-dir "$win" -j"$jobs" --output-on-failure
echo "test: the Windows build and its tests took $((SECONDS - windows_start)) s"
