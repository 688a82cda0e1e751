#!/bin/sh
# The zelt build's timing log under Wine: one line per frame appended to
# "d:\debug.out" when the prefix has a drive D: (mapped here to a temporary
# folder inside the prefix), and the same frames without the log when it has
# none. The test owns the mapping while it runs (CTest lock wine_drive_d).
#
#   timing_log.sh WINE RUNNER.exe zelt.vdf timing.txt OUTDIR
# with WINEPREFIX set; exit 77 without a display (the dialog sets the mode).
set -eu
wine=$1 runner=$2 module=$3 list=$4 out=$5
if [ -z "${DISPLAY:-}" ]; then
  echo "no display: skipped"
  exit 77
fi
drive="$WINEPREFIX/dosdevices/d:"
folder="$WINEPREFIX/drive_d_timing"
if [ -e "$drive" ] || [ -L "$drive" ]; then
  if [ "$(readlink "$drive")" != "$folder" ]; then
    echo "the prefix has a drive D: of its own: $(readlink "$drive")"
    exit 1
  fi
  rm -f "$drive"  # left by an interrupted run of this test
fi
trap 'rm -f "$drive"' EXIT
rm -rf "$folder" "$out"
mkdir -p "$out"

fail() {
  echo "timing log: $*"
  exit 1
}

# Without a drive D: the frames are processed and nothing fails.
"$wine" "$runner" run "$module" "$list" "$out/without-d" || fail "the run without a drive D: failed"
[ ! -e "$folder" ] || fail "something made $folder"

# With D: mapped: one line per frame, appended, each closed on disk.
mkdir "$folder"
ln -s "$folder" "$drive"
"$wine" "$runner" run "$module" "$list" "$out/with-d" || fail "the run with a drive D: failed"
log="$folder/debug.out"
[ -f "$log" ] || fail "no d:\\debug.out"
cp "$log" "$out/debug-1.out"
"$wine" "$runner" run "$module" "$list" "$out/with-d-again" || fail "the second run with a drive D: failed"
cp "$log" "$out/debug-2.out"

# The list runs 5 frames of 720 x 576 with 10 harmonics, then 5 of 65 x 4
# with 7. Text mode: every line ends in CR LF. Below 2^32 cycles the high
# half of the count is 0.
check_log() {
  awk -v runs="$2" '
    BEGIN { bad = 0 }
    {
      n = NR - 1; frame = n % 10
      want = frame < 5 ? "\\(720 x 576 10 Harms\\)" : "\\(65 x 4 7 Harms\\)"
      if ($0 !~ ("^FilterFull \\(MMX\\) - 0 : [0-9]+ clocks " want "\r$")) {
        printf "line %d: %s\n", NR, $0; bad = 1
      }
    }
    END {
      if (NR != 10 * runs) { printf "%d lines, expected %d\n", NR, 10 * runs; bad = 1 }
      exit bad
    }' "$1" || fail "$1 is not as expected"
}
check_log "$out/debug-1.out" 1
check_log "$out/debug-2.out" 2
head -c "$(wc -c < "$out/debug-1.out")" "$out/debug-2.out" | cmp -s - "$out/debug-1.out" ||
  fail "the second run did not append to the first run's lines"

# The log changes nothing in the pictures.
"$wine" "$runner" compare "$list" "$out/without-d" "$out/with-d" || fail "frames differ with and without the log"
echo "timing log: ok"
head -n 1 "$out/debug-1.out"
