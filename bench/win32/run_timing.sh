#!/usr/bin/env bash
# Times the 32-bit modules of a Windows cross build under Wine: both modules,
# full processing of 720 x 576 frames at the given numbers of harmonics, in
# their default (MMX) dispatch. Writes OUT.json with, per module and N, the
# wall-clock time of every frame, the time-stamp-counter cycles of every run
# call, and for zelt the lines of its own cycle log (d:\debug.out, mapped to a
# folder of a prefix of our own).
#
#   bench/win32/run_timing.sh WIN_BUILD_DIR OUT.json [FRAMES [N...]]
set -euo pipefail

build=$(cd "$1" && pwd)
out=$2
frames=${3:-12}
shift $(( $# < 3 ? $# : 3 ))
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(10 352)

unset ZELT_CPU  # the modules' own default: MMX
export WINEPREFIX="$build/wineprefix-timing" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
# Drive D: of this prefix: where the zelt module appends its timing lines.
folder="$WINEPREFIX/drive_d_timing"
mkdir -p "$folder"
ln -sfn "$folder" "$WINEPREFIX/dosdevices/d:"

if [ -z "${DISPLAY:-}" ]; then
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
fi

tmp=$(mktemp -d)
trap 'cleanup; rm -rf "$tmp"' EXIT
for module in zelt zelt_lpf; do
  for n in "${counts[@]}"; do
    rm -f "$folder/debug.out"
    (cd "$build/bin" && wine frame_timing.exe "$module.vdf" "$n" "$frames") >"$tmp/$module-$n.txt"
    cp "$folder/debug.out" "$tmp/$module-$n.log" 2>/dev/null || : >"$tmp/$module-$n.log"
  done
done

py=/usr/bin/python3
[ -x "$py" ] || py=python3
"$py" - "$tmp" "$out" "${counts[@]}" <<'EOF'
import json, re, sys
tmp, out, counts = sys.argv[1], sys.argv[2], [int(c) for c in sys.argv[3:]]
runs = []
for module in ("zelt", "zelt_lpf"):
    for n in counts:
        text = open(f"{tmp}/{module}-{n}.txt").read()
        frames = [tuple(map(float, m.groups())) for m in re.finditer(r"frame \d+: ([\d.]+) ms, (\d+) cycles", text)]
        cpu = re.search(r"cpu: ([\d.]+) ms per frame", text)
        log = [int(a) * 2**32 + int(b) for a, b in
               re.findall(r"FilterFull \(MMX\) - (\d+) : (\d+) clocks", open(f"{tmp}/{module}-{n}.log").read())]
        runs.append({"module": module, "harmonics": n, "width": 720, "height": 576,
                     "frame_ms": [f[0] for f in frames], "run_cycles": [int(f[1]) for f in frames],
                     "cpu_ms_per_frame": float(cpu.group(1)) if cpu else None,
                     "log_cycles": log})
json.dump({"runs": runs}, open(out, "w"), indent=1)
for r in runs:
    ms = sorted(r["frame_ms"])
    print(f'{r["module"]:9} N={r["harmonics"]:4}: median {ms[len(ms) // 2]:.2f} ms per frame, '
          f'min {ms[0]:.2f} ms, CPU {r["cpu_ms_per_frame"]} ms' + (f', log median {sorted(r["log_cycles"])[len(r["log_cycles"]) // 2]} cycles'
                                    if r["log_cycles"] else ""))
EOF
