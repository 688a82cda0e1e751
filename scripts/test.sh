#!/usr/bin/env bash
# Builds every build and runs every test:
#   1. native (Linux x86-64) with warnings as errors, then ctest; the same
#      suite under AddressSanitizer and UndefinedBehaviorSanitizer, and a
#      bounded fuzzing run of every fuzz target, 5.5 minutes in all
#      (scripts/sanitize.sh, fuzz.sh);
#   2. the 32-bit Windows cross build (MinGW-w64; warnings shown, not fatal),
#      then ctest, which runs the Windows tests under Wine in a throw-away
#      prefix inside the build tree, with an Xvfb display started here when
#      none is set, and compares each .vdf with the native module of step 1.
#      On a machine whose kernel cannot run 32-bit x86 programs (no IA32
#      emulation), Wine cannot start: the Windows build is still made and its
#      exports checked, the Wine tests are skipped with a warning, and
#      ZELT_REQUIRE_WINE=1 turns that into a failure;
#   3. the 64-bit Windows cross build (MinGW-w64 x86_64) and its ctest under
#      64-bit Wine, the same way, against the same native outputs;
#   4. the packages (scripts/package.sh): the Debian package, unpacked into a
#      scratch root and run there, and the zip of both Windows builds' modules.
# Build trees: out/native, out/win32 and out/win64 (ZELT_OUT overrides out/).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${ZELT_OUT:-$root/out}
jobs=${ZELT_JOBS:-2}

cmake -S "$root" -B "$out/native" -G Ninja -DZELT_WERROR=ON
ninja -C "$out/native" -j"$jobs"
ctest --test-dir "$out/native" -j"$jobs" --output-on-failure

# Robustness: the native suite again under the sanitizers, then every fuzz
# target for its CI time (FUZZ_SECONDS=N: N seconds each; 0 skips the
# fuzzing). A finding fails here, its input kept under $out/fuzz/artifacts-*.
SANITIZE_BUILD_DIR="$out/sanitize" "$root/scripts/sanitize.sh"
if [ "${FUZZ_SECONDS:-}" != 0 ]; then
  FUZZ_BUILD_DIR="$out/fuzz" "$root/scripts/fuzz.sh" ${FUZZ_SECONDS:-}
fi

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
prefixes=()
cleanup() {
  for prefix in "${prefixes[@]}"; do
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  done
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# The dialogs need a display: an Xvfb one unless DISPLAY is set.
need_display() {
  if [ -n "${DISPLAY:-}" ]; then
    return
  fi
  local n=90
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
}

# The throw-away prefix of a Windows build tree (the loader given makes a
# 32- or 64-bit one), made before ctest so that no test waits for it.
need_prefix() {
  local prefix=$1 loader=$2
  prefixes+=("$prefix")
  if [ ! -f "$prefix/system.reg" ]; then
    echo "test: creating the Wine prefix $prefix"
    WINEPREFIX=$prefix WINELOADER=$loader "$loader" wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -w
  fi
}

win="$out/win32"
windows_start=$SECONDS
# The Windows tests compare each .vdf with the native module built above.
cmake -S "$root" -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DZELT_WERROR=OFF \
  -DZELT_NATIVE_BUILD_DIR="$out/native"
ninja -C "$win" -j"$jobs"

# The 32-bit Wine loader is itself a 32-bit program: if it cannot start, no
# 32-bit Windows test can.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "test: WARNING: this machine cannot run 32-bit x86 programs (no IA32 support in the kernel)," >&2
  echo "test: WARNING: so the .vdf modules are built and their exports checked, but not run under Wine." >&2
  if [ "${ZELT_REQUIRE_WINE:-0}" = 1 ]; then
    exit 1
  fi
  # Every other test of the cross build runs a Windows program.
  ctest --test-dir "$win" -j"$jobs" --output-on-failure -R '\.exports$'
  echo "test: the 32-bit Windows build and its checks took $((SECONDS - windows_start)) s (Wine tests skipped)"
else
  need_display
  need_prefix "$win/wineprefix" /usr/lib/wine/wine
  ctest --test-dir "$win" -j"$jobs" --output-on-failure
  echo "test: the 32-bit Windows build and its tests took $((SECONDS - windows_start)) s"
fi

# The 64-bit modules under 64-bit Wine (no benchmarks: they time the 32-bit
# modules). The native reference outputs are the ones step 1 made; nothing
# native runs again.
win64="$out/win64"
windows_start=$SECONDS
cmake -S "$root" -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DZELT_WERROR=OFF \
  -DZELT_BENCH=OFF -DZELT_NATIVE_BUILD_DIR="$out/native"
ninja -C "$win64" -j"$jobs"
wine64=/usr/lib/wine/wine64
if ! "$wine64" --version >/dev/null 2>&1; then
  echo "test: $wine64 does not run (scripts/setup.sh installs wine64)" >&2
  exit 1
fi
need_display
need_prefix "$win64/wineprefix" "$wine64"
ctest --test-dir "$win64" -j"$jobs" --output-on-failure
echo "test: the 64-bit Windows build and its tests took $((SECONDS - windows_start)) s"

# Packages, made from the trees above and checked.
"$root/scripts/package.sh" "$out"
