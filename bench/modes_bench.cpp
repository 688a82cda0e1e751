// Per-frame cost of the correction stages, and of the modes' kernels per
// instruction set.
//
//   BM_FullWeighted/N/W, BM_FullTimed/N/W  full processing of both modules on
//       a W x 576 frame with N harmonics, at the best level (the sweep of the
//       scaling chart); BM_FullTimedAtLevel/L/N the plain form capped at
//       level L (the native MMX kernels for comparison).
//   BM_UnpackPackFrame/W  unpackRow and packRow of every row once: the floor
//       the small-N cost is compared with.
//   BM_Notch/L/B, BM_DcAverage/L/T  the stages at level L (0 scalar
//       reference, 4 the best) with a band of B harmonics, without and with
//       the temporal option.
// Counters: GMAC is 10^9 16 x 16-bit multiply-adds per second of CPU time
// (analysis of harmonics 1..N-1 and synthesis of 0..N-1, sine and cosine, in
// three planes of every row processed).
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "display/display_dsp.h"
#include "engine/dsp.h"
#include "engine/engine.h"
#include "engine/trig_tables.h"
#include "modes/modes.h"
#include "modes/modes_dsp.h"

namespace {

const int kH = 576;

struct BenchFrame {
    int w, h;
    std::vector<uint32_t> original, srcBuf, dstBuf;
    FrameView src{}, dst{};

    BenchFrame(int w_, int h_)
        : w(w_), h(h_), original((size_t)w_ * h_), srcBuf(original.size()), dstBuf(original.size())
    {
        std::mt19937 rng(42);
        // A picture with some structure: gradients, a stripe pattern and noise.
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const uint32_t v = (uint32_t)((x / 3 + y / 5 + (x / 7 % 2) * 40 + rng() % 16) & 0xff);
                original[(size_t)y * w + x] = v << 16 | ((v * 3 / 4) & 0xff) << 8 | ((255 - v) & 0xff);
            }
        srcBuf = original;
        src = FrameView{(uint8_t *)srcBuf.data(), w, h, 4 * (ptrdiff_t)w};
        dst = FrameView{(uint8_t *)dstBuf.data(), w, h, 4 * (ptrdiff_t)w};
    }
    void chainCopy() { memcpy(dstBuf.data(), srcBuf.data(), dstBuf.size() * 4); }
};

struct Tables {
    Tables(int w, AngleForm form)
    {
        buildTrigTables16(w, w, form);
        buildTrigTables32(w, w, form);
    }
    ~Tables()
    {
        freeTrigTables32();
        freeTrigTables16();
    }
};

// Caps every dispatch table at `level` for the life of the scope.
struct LevelScope {
    bool ok;
    explicit LevelScope(benchmark::State &state, CpuLevel level) : ok(level <= cpuDetect())
    {
        if (!ok) {
            state.SkipWithError("level not available");
            return;
        }
        dspSetCpuCap(level);
        state.SetLabel(cpuLevelName(level));
    }
    ~LevelScope() { dspSetCpuCap(cpuCapFromEnv()); }
};

void setFrameCounters(benchmark::State &state, double macsPerFrame)
{
    state.counters["frames/s"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    if (macsPerFrame > 0)
        state.counters["GMAC"] = benchmark::Counter(macsPerFrame * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}

// Multiply-adds of full processing of `rows` rows: analysis of harmonics
// 1..n-1 over 4 x (w / 4) samples, synthesis of 0..n-1 over 2 x (w / 2).
double fullMacs(int n, int w, int rows)
{
    return ((double)(n - 1) * (w & ~3) + (double)n * (w & ~1)) * 3 * 2 * rows;
}

void BM_FullWeighted(benchmark::State &state)
{
    const int n = (int)state.range(0), w = (int)state.range(1);
    Tables tables(w, ANGLE_RECIPROCAL);
    BenchFrame f(w, kH);
    f.chainCopy();  // rows h-2, h-1 keep it; the stage rewrites the others
    for (auto _ : state) {
        zelt_lpf::FilterFull(f.src, f.dst, n);
        benchmark::DoNotOptimize(f.dstBuf.data());
    }
    setFrameCounters(state, fullMacs(n, w, kH - 2));
}

// The plain form also reports its own per-frame cycle count from its log.
void fullTimed(benchmark::State &state, int n, int w)
{
    char name[] = "/tmp/zelt_bench_timing_XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0)
        close(fd);
    setenv("ZELT_TIMING_LOG", name, 1);
    Tables tables(w, ANGLE_DIVIDE);
    BenchFrame f(w, kH);
    for (auto _ : state) {
        zelt::FilterFull(f.src, f.dst, n);
        benchmark::DoNotOptimize(f.dstBuf.data());
    }
    setFrameCounters(state, fullMacs(n, w, kH));
    std::vector<double> cycles;
    std::ifstream in(name);
    for (std::string line; std::getline(in, line);) {
        unsigned hi = 0, lo = 0;
        if (sscanf(line.c_str(), "FilterFull (MMX) - %u : %u clocks", &hi, &lo) == 2)
            cycles.push_back((double)hi * 4294967296.0 + lo);
    }
    // The median frame: the log counts wall-clock cycles, so a frame that
    // waited for the processor counts its wait too.
    if (!cycles.empty()) {
        std::sort(cycles.begin(), cycles.end());
        state.counters["log_cycles"] = cycles[cycles.size() / 2];
    }
    unsetenv("ZELT_TIMING_LOG");
    remove(name);
}

void BM_FullTimed(benchmark::State &state)
{
    fullTimed(state, (int)state.range(0), (int)state.range(1));
}

void BM_FullTimedAtLevel(benchmark::State &state)
{
    LevelScope level(state, (CpuLevel)state.range(0));
    if (level.ok)
        fullTimed(state, (int)state.range(1), 720);
}

// The sweep of the scaling chart: N at width 720, width at N = 352.
void scalingArgs(benchmark::internal::Benchmark *b)
{
    for (int n : {10, 32, 64, 128, 256, 352, 512, 720})
        b->Args({n, 720});
    for (int w : {360, 1440})
        b->Args({352, w});
    b->Args({10, 360});
    b->Args({10, 1440});
}
BENCHMARK(BM_FullWeighted)->Apply(scalingArgs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullTimed)->Apply(scalingArgs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullTimedAtLevel)->Args({CPU_MMX, 352})->Args({CPU_MMX, 10})->Unit(benchmark::kMillisecond);

void BM_UnpackPackFrame(benchmark::State &state)
{
    const int w = (int)state.range(0);
    BenchFrame f(w, kH);
    std::vector<int16_t> planar((size_t)3 * w);
    for (auto _ : state) {
        for (int r = 0; r < kH; r++) {
            unpackRow(f.srcBuf.data() + (size_t)r * w, planar.data(), w);
            packRow(planar.data(), f.dstBuf.data() + (size_t)r * w, w);
        }
        benchmark::DoNotOptimize(f.dstBuf.data());
    }
    setFrameCounters(state, 0);
}
BENCHMARK(BM_UnpackPackFrame)->Arg(360)->Arg(720)->Arg(1440)->Unit(benchmark::kMicrosecond);

void BM_Notch(benchmark::State &state)
{
    LevelScope level(state, (CpuLevel)state.range(0));
    if (!level.ok)
        return;
    Tables tables(720, ANGLE_RECIPROCAL);
    BenchFrame f(720, kH);
    const int band = (int)state.range(1);
    for (auto _ : state) {
        state.PauseTiming();
        f.srcBuf = f.original;  // the stage tapers its source in place
        state.ResumeTiming();
        f.chainCopy();
        notchFilter(f.src, f.dst, 20, 20 + band);
        benchmark::DoNotOptimize(f.dstBuf.data());
    }
    setFrameCounters(state, 0);
}
BENCHMARK(BM_Notch)->ArgsProduct({{CPU_SCALAR, CPU_AVX512}, {1, 8, 32}})->Unit(benchmark::kMillisecond);

void BM_DcAverage(benchmark::State &state)
{
    LevelScope level(state, (CpuLevel)state.range(0));
    if (!level.ok)
        return;
    BenchFrame f(720, kH);
    const bool temporal = state.range(1) != 0;
    dcHistoryReset();
    for (auto _ : state) {
        f.chainCopy();
        dcAverageFilter(f.src, f.dst, temporal);
        benchmark::DoNotOptimize(f.dstBuf.data());
    }
    dcHistoryReset();
    setFrameCounters(state, 0);
}
BENCHMARK(BM_DcAverage)->ArgsProduct({{CPU_SCALAR, CPU_AVX512}, {0, 1}})->Unit(benchmark::kMillisecond);

// Kernels per level: one 720-pixel row.
void BM_AddComponent(benchmark::State &state)
{
    ModesDsp dsp;
    const CpuLevel level = (CpuLevel)state.range(0);
    if (modesDspInit(&dsp, level) != level) {
        state.SkipWithError("level not available");
        return;
    }
    state.SetLabel(cpuLevelName(level));
    const int w = 720;
    std::vector<int32_t> s(w), c(w);
    std::vector<uint32_t> row(w);
    std::mt19937 rng(3);
    for (int j = 0; j < w; j++) {
        s[(size_t)j] = (int32_t)(rng() % 513) - 256;
        c[(size_t)j] = (int32_t)(rng() % 513) - 256;
        row[(size_t)j] = rng();
    }
    const HarmonicCoeffs coeffs{{-1200, 3400}, {560, -7800}, {90, 10}};
    for (auto _ : state) {
        dsp.addComponent(row.data(), w, &coeffs, s.data(), c.data());
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations() * w);
}
BENCHMARK(BM_AddComponent)->DenseRange(CPU_SCALAR, CPU_AVX512);

void BM_DcShiftRow(benchmark::State &state)
{
    ModesDsp dsp;
    const CpuLevel level = (CpuLevel)state.range(0);
    if (modesDspInit(&dsp, level) != level) {
        state.SkipWithError("level not available");
        return;
    }
    state.SetLabel(cpuLevelName(level));
    const int w = 720;
    std::vector<uint32_t> row(w);
    std::mt19937 rng(4);
    for (uint32_t &p : row)
        p = rng();
    int flip = 1;
    for (auto _ : state) {
        dsp.dcShiftRow(row.data(), w, 7 * flip, -5 * flip, 3 * flip);
        flip = -flip;
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations() * w);
}
BENCHMARK(BM_DcShiftRow)->DenseRange(CPU_SCALAR, CPU_AVX512);

}  // namespace
