#!/usr/bin/env python3
"""The goals of the speed work, as ratios, from one run of the benchmarks.

    bench/report.py BENCH.json [WINE.json] OUT_DIR

BENCH.json is Google Benchmark's JSON output of zelt_bench, run with
repetitions (the medians are used); WINE.json is what
bench/win32/run_timing.sh wrote for the 32-bit modules under Wine. Writes
OUT_DIR/summary.md and OUT_DIR/scaling.png, and prints the summary.
"""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def medians(path):
    """Median entry of every benchmark: cpu and real time in ms, counters."""
    runs = {}
    data = json.load(open(path))
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = b.get("run_name", b["name"])
        if b.get("run_type") == "iteration" and name in runs and runs[name].get("median"):
            continue
        entry = dict(b)
        unit = TO_MS[b.get("time_unit", "ns")]
        entry["cpu_ms"] = b["cpu_time"] * unit
        entry["real_ms"] = b["real_time"] * unit
        entry["median"] = b.get("aggregate_name") == "median"
        runs[name] = entry
    return data.get("context", {}), runs


def fmt(x, digits=2):
    return f"{x:.{digits}f}"


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    bench = sys.argv[1]
    wine = sys.argv[2] if len(sys.argv) == 4 else None
    out = sys.argv[-1]
    context, b = medians(bench)
    lines = []
    say = lines.append

    def get(name):
        if name not in b:
            sys.exit(f"report: {name} missing from {bench}")
        return b[name]

    # --- the peak
    clock = get("coreClock")["GHz"]
    peak = get("maddPeak/avx512vnni")["GMAC"]
    peak_plain = get("maddPeak/avx512")["GMAC"]
    avx2 = get("maddPeak/avx2")["GMAC"]
    mmx = get("maddPeak/mmx")["GMAC"]
    ipc = peak / (32 * clock)
    say("# Speed of the whole-frame paths")
    say("")
    say(f"Machine: {context.get('num_cpus', '?')} x {context.get('mhz_per_cpu', '?')} MHz (time-stamp counter), "
        f"load average at the start {', '.join(fmt(x) for x in context.get('load_avg', []))}. "
        "Times are CPU time per frame, medians of the repetitions (the machine is shared: wall-clock "
        "times include other processes' turns).")
    say("")
    say("## Peak 16-bit multiply-add rate")
    say("")
    say(f"- core clock (chain of dependent additions): {fmt(clock)} GHz")
    say(f"- vpdpwssd on zmm, 12 independent chains: {fmt(peak, 1)} GMAC/s = {fmt(ipc)} instructions per cycle "
        f"x 32 lanes x {fmt(clock)} GHz")
    say(f"- vpmaddwd zmm {fmt(peak_plain, 1)}, ymm {fmt(avx2, 1)}, mm (MMX) {fmt(mmx, 1)} GMAC/s")
    say("")

    # --- full processing against the peak
    say("## Full processing against the peak (720 x 576, N = 352)")
    say("")
    say("Goal: at least 60 % of the peak.")
    say("")
    say("| form | ms per frame | GMAC/s | of the peak |")
    say("|---|---|---|---|")
    full = {}
    for form, name in (("zelt_lpf (curve-weighted)", "BM_FullWeighted/352/720"), ("zelt (plain, timed)",
                                                                                  "BM_FullTimed/352/720")):
        r = get(name)
        full[form] = r
        say(f"| {form} | {fmt(r['cpu_ms'])} | {fmt(r['GMAC'], 1)} | {fmt(100 * r['GMAC'] / peak, 1)} % |")
    for kernel in ("analyseFrame720x576/avx512/352", "synthesiseFrame720x576/avx512/352"):
        if kernel in b:
            r = b[kernel]
            say(f"| kernel {kernel.split('/')[0]} | {fmt(r['cpu_ms'])} | {fmt(r['GMAC'], 1)} | "
                f"{fmt(100 * r['GMAC'] / peak, 1)} % |")
    say("")
    say("Multiply-adds counted: analysis of harmonics 1..N-1 over 720 samples and synthesis of 0..N-1, sine and "
        "cosine, three planes, every processed row (574 rows for zelt_lpf, 576 for zelt).")
    say("")

    # --- against the MMX modules
    timed = get("BM_FullTimed/352/720")
    native_mmx = b.get("BM_FullTimedAtLevel/1/352")
    if wine:
        w = json.load(open(wine))
        tsc_mhz = float(context.get("mhz_per_cpu", 0)) or None
        say("## Against the 32-bit MMX modules under Wine (720 x 576)")
        say("")
        say("Goal: the native module at least 10 times faster per frame.")
        say("")
        say("| module, N | MMX module: cycle log | MMX module: CPU ms | native: cycle log | native: CPU ms | "
            "ratio (cycle logs) | ratio (CPU) |")
        say("|---|---|---|---|---|---|---|")
        for run in w["runs"]:
            n, module = run["harmonics"], run["module"]
            native = b.get(f"BM_FullTimed/{n}/720" if module == "zelt" else f"BM_FullWeighted/{n}/720")
            if not native:
                continue
            log = sorted(run["log_cycles"]) or sorted(run["run_cycles"])
            log_median = log[len(log) // 2]
            native_log = native.get("log_cycles")
            cpu = run.get("cpu_ms_per_frame")
            # The lpf module keeps no log: its run calls are timed by the host.
            mmx_log = f"{log_median / 1e6:.1f} M" + ("" if run["log_cycles"] else " (host's count)")
            nat_log = f"{native_log / 1e6:.2f} M" if native_log else "-"
            ratio_log = fmt(log_median / native_log, 1) if native_log else (
                fmt(log_median / (native["real_ms"] * tsc_mhz * 1e3), 1) if tsc_mhz else "-")
            say(f"| {module}, {n} | {mmx_log} | {fmt(cpu, 1) if cpu else '-'} | {nat_log} | {fmt(native['cpu_ms'])} | "
                f"{ratio_log} | {fmt(cpu / native['cpu_ms'], 1) if cpu else '-'} |")
        say("")
        say("Cycle logs count time-stamp-counter cycles of the whole run call, wall-clock: a frame that waited "
            "for the processor counts its wait; the CPU columns count only the module's own time.")
        say("")
    if native_mmx:
        say(f"The native build at the MMX level (64-bit, same kernels): {fmt(native_mmx['cpu_ms'], 1)} ms per frame "
            f"at N = 352, {fmt(native_mmx['cpu_ms'] / timed['cpu_ms'], 1)} times the best level.")
        say("")

    # --- small N
    say("## Small N (720 x 576, N = 10) against unpacking and packing every row once")
    say("")
    say("Goal: no more than 5 times.")
    say("")
    floor_ms = get("BM_UnpackPackFrame/720")["cpu_ms"]
    say(f"Unpack and pack of all 576 rows: {fmt(floor_ms * 1e3, 1)} us.")
    say("")
    say("| form | us per frame | times the unpack and pack |")
    say("|---|---|---|")
    for form, name in (("zelt_lpf", "BM_FullWeighted/10/720"), ("zelt", "BM_FullTimed/10/720")):
        r = get(name)
        say(f"| {form} | {fmt(r['cpu_ms'] * 1e3, 1)} | {fmt(r['cpu_ms'] / floor_ms)} |")
    say("")

    # --- stages against their scalar form
    say("## Notch, DC average and display against their scalar reference form (720 x 576)")
    say("")
    say("Goal: at least 5 times faster. Scalar: every dispatch table capped at the scalar references "
        "(ZELT_CPU=scalar); best: AVX-512.")
    say("")
    say("| stage | scalar ms | best ms | speed-up |")
    say("|---|---|---|---|")
    stages = [(f"notch, band of {k}", f"BM_Notch/0/{k}", f"BM_Notch/4/{k}") for k in (1, 8, 32)]
    stages += [("DC average", "BM_DcAverage/0/0", "BM_DcAverage/4/0"),
               ("DC average, temporal", "BM_DcAverage/0/1", "BM_DcAverage/4/1")]
    stages += [(f"display zelt_lpf, N = {n}", f"BM_SpectrumDisplayLpf/0/{n}", f"BM_SpectrumDisplayLpf/4/{n}")
               for n in (10, 352)]
    stages += [(f"display zelt, N = {n}", f"BM_SpectrumDisplayBars/0/{n}", f"BM_SpectrumDisplayBars/4/{n}")
               for n in (10, 352)]
    for label, scalar, best in stages:
        if scalar in b and best in b:
            s, f = b[scalar]["cpu_ms"], b[best]["cpu_ms"]
            say(f"| {label} | {fmt(s, 3)} | {fmt(f, 3)} | {fmt(s / f, 1)} |")
    say("")
    clear, scale = b.get("BM_DisplayClear"), b.get("BM_DisplayGraticule")
    bars = [b.get(f"BM_SpectrumDisplayBars/{level}/10") for level in (0, 4)]
    if clear and scale and all(bars):
        fixed = clear["cpu_ms"] + scale["cpu_ms"]
        s, f = (r["cpu_ms"] for r in bars)
        say(f"Both forms of every display first clear the whole destination and draw the scale: "
            f"{fmt(clear['cpu_ms'] * 1e3, 1)} us for the clear ({fmt(clear['bytes_per_second'] / 1e9, 1)} GB/s) "
            f"and {fmt(scale['cpu_ms'] * 1e3, 1)} us for the scale on this frame. The zelt display at N = 10 is "
            f"little else, so no form of it can be 5 times faster than another: 5 times would take "
            f"{fmt(s * 1e3 / 5, 1)} us, less than the clear alone. Beyond the clear and the scale it takes "
            f"{fmt((s - fixed) * 1e3, 1)} us in the scalar form and {fmt((f - fixed) * 1e3, 1)} us at the best level.")
        say("")

    # --- scaling
    ns = [10, 32, 64, 128, 256, 352, 512, 720]
    widths = [360, 720, 1440]
    fig, axes = plt.subplots(1, 3, figsize=(16, 4.8))
    for form, prefix, rows, marker, colour in (("zelt_lpf", "BM_FullWeighted", 574, "o", "tab:blue"),
                                               ("zelt", "BM_FullTimed", 576, "s", "tab:orange")):
        t = [get(f"{prefix}/{n}/720")["cpu_ms"] for n in ns]
        axes[0].plot(ns, t, marker=marker, color=colour, label=form)
        tw = [get(f"{prefix}/352/{w}")["cpu_ms"] for w in widths]
        axes[1].plot(widths, tw, marker=marker, color=colour, label=f"{form}, N = 352")
        tw10 = [get(f"{prefix}/10/{w}")["cpu_ms"] for w in widths]
        axes[1].plot(widths, tw10, marker=marker, color=colour, linestyle="--", label=f"{form}, N = 10")
        per = [get(f"{prefix}/{n}/720")["cpu_ms"] * 1e6 / (n * 720 * rows) for n in ns]
        axes[2].plot([n * 720 for n in ns], per, marker=marker, color=colour, label=f"{form}, width 720, N varies")
        perw = [get(f"{prefix}/352/{w}")["cpu_ms"] * 1e6 / (352 * w * rows) for w in widths]
        axes[2].plot([352 * w for w in widths], perw, marker=marker, color=colour, linestyle="--",
                     label=f"{form}, N = 352, width varies")
    axes[0].set(title="Time per 720 x 576 frame against N", xlabel="harmonics N", ylabel="ms per frame (CPU)")
    axes[1].set(title="Time per frame against width (576 rows)", xlabel="width w", ylabel="ms per frame (CPU)")
    axes[2].set(title="Time per N x w per row", xlabel="N x w", ylabel="ns per (N x w x row)", xscale="log")
    axes[2].set_ylim(bottom=0)
    for ax in axes:
        ax.grid(True, alpha=0.3)
        ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(f"{out}/scaling.png", dpi=110)

    say("## Scaling (chart: scaling.png)")
    say("")
    say("| N (width 720) | " + " | ".join(str(n) for n in ns) + " |")
    say("|---|" + "---|" * len(ns))
    for form, prefix in (("zelt_lpf ms", "BM_FullWeighted"), ("zelt ms", "BM_FullTimed")):
        say(f"| {form} | " + " | ".join(fmt(get(f'{prefix}/{n}/720')['cpu_ms']) for n in ns) + " |")
    say("")
    say("| width (N = 352) | " + " | ".join(str(w) for w in widths) + " |")
    say("|---|" + "---|" * len(widths))
    for form, prefix in (("zelt_lpf ms", "BM_FullWeighted"), ("zelt ms", "BM_FullTimed")):
        say(f"| {form} | " + " | ".join(fmt(get(f'{prefix}/352/{w}')['cpu_ms']) for w in widths) + " |")
    say("")

    try:
        runs = [line.strip() for line in open(f"{out}/e2e.txt") if line.strip()]
    except OSError:
        runs = []
    if runs:
        say("## End to end: the README's main job (quorvel, 50 frames of 720 x 576, FFV1 in Matroska)")
        say("")
        say("Decoding and encoding run on threads of their own, the module on the calling thread; with "
            "--serial all three run on one thread.")
        say("")
        say("| options | quorvel's summary | CPU user, system s |")
        say("|---|---|---|")
        for run in runs:
            options, summary, cpu = (part.strip() for part in run.split("|"))
            say(f"| {options} | {summary} | {cpu.replace('cpu ', '').replace(' ', ', ')} |")
        say("")

    text = "\n".join(lines) + "\n"
    open(f"{out}/summary.md", "w").write(text)
    print(text)


if __name__ == "__main__":
    main()
