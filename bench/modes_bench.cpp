// Per-frame cost of the correction stages on a 720 x 576 frame, and of the
// modes' per-pixel kernels per instruction set.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/dsp.h"
#include "engine/trig_tables.h"
#include "host/settings.h"
#include "modes/modes.h"
#include "modes/modes_dsp.h"

namespace {

const int kW = 720, kH = 576;

struct BenchFrame {
    std::vector<uint32_t> original, srcBuf, dstBuf;
    VFBitmap src{}, dst{};
    FilterActivation fa{};

    BenchFrame() : original((size_t)kW * kH), srcBuf((size_t)kW * kH), dstBuf((size_t)kW * kH)
    {
        std::mt19937 rng(42);
        // A picture with some structure: gradients, a stripe pattern and noise.
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                const uint32_t v = (uint32_t)((x / 3 + y / 5 + (x / 7 % 2) * 40 + rng() % 16) & 0xff);
                original[(size_t)y * kW + x] = v << 16 | ((v * 3 / 4) & 0xff) << 8 | ((255 - v) & 0xff);
            }
        srcBuf = original;
        for (VFBitmap *bm : {&src, &dst}) {
            bm->w = kW;
            bm->h = kH;
            bm->pitch = 4 * kW;
            bm->size = 4 * kW * kH;
        }
        src.data = srcBuf.data();
        dst.data = dstBuf.data();
        fa.src = &src;
        fa.dst = &dst;
    }
    void chainCopy() { memcpy(dstBuf.data(), srcBuf.data(), dstBuf.size() * 4); }
};

struct Tables {
    explicit Tables(AngleForm form)
    {
        buildTrigTables16(kW, kW, form);
        buildTrigTables32(kW, kW, form);
    }
    ~Tables()
    {
        freeTrigTables32();
        freeTrigTables16();
    }
};

void setFrameCounters(benchmark::State &state)
{
    state.counters["frames/s"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
}

void BM_FullWeighted(benchmark::State &state)
{
    Tables tables(ANGLE_RECIPROCAL);
    BenchFrame f;
    filterSettings = defaultFilterSettings();
    filterSettings.harmonicsNumber = (int)state.range(0);
    for (auto _ : state) {
        f.chainCopy();
        zelt_lpf::FilterFull(&f.fa, nullptr);
        benchmark::DoNotOptimize(f.dstBuf.data());
    }
    setFrameCounters(state);
}
BENCHMARK(BM_FullWeighted)->Arg(10)->Arg(64)->Arg(352)->Unit(benchmark::kMillisecond);

// The plain form also reports its own per-frame cycle count from its log.
void BM_FullTimed(benchmark::State &state)
{
    char name[] = "/tmp/zelt_bench_timing_XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0)
        close(fd);
    setenv("ZELT_TIMING_LOG", name, 1);
    Tables tables(ANGLE_DIVIDE);
    BenchFrame f;
    filterSettings = defaultFilterSettings();
    filterSettings.harmonicsNumber = (int)state.range(0);
    for (auto _ : state) {
        f.chainCopy();
        zelt::FilterFull(&f.fa, nullptr);
        benchmark::DoNotOptimize(f.dstBuf.data());
    }
    setFrameCounters(state);
    double total = 0.0;
    long lines = 0;
    std::ifstream in(name);
    for (std::string line; std::getline(in, line); lines++) {
        unsigned hi = 0, lo = 0;
        if (sscanf(line.c_str(), "FilterFull (MMX) - %u : %u clocks", &hi, &lo) == 2)
            total += (double)hi * 4294967296.0 + lo;
    }
    if (lines > 0)
        state.counters["cycles/frame"] = total / (double)lines;
    unsetenv("ZELT_TIMING_LOG");
    remove(name);
}
BENCHMARK(BM_FullTimed)->Arg(10)->Arg(64)->Arg(352)->Unit(benchmark::kMillisecond);

void BM_Notch(benchmark::State &state)
{
    Tables tables(ANGLE_RECIPROCAL);
    BenchFrame f;
    filterSettings = defaultFilterSettings();
    filterSettings.minHarmonic = 20;
    filterSettings.maxHarmonic = 20 + (int)state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        f.srcBuf = f.original;  // the stage tapers its source in place
        state.ResumeTiming();
        f.chainCopy();
        notchFilter(&f.fa, nullptr);
        benchmark::DoNotOptimize(f.dstBuf.data());
    }
    setFrameCounters(state);
}
BENCHMARK(BM_Notch)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_DcAverage(benchmark::State &state)
{
    BenchFrame f;
    filterSettings = defaultFilterSettings();
    filterSettings.dcTemporal = (uint8_t)state.range(0);
    dcHistoryReset();
    for (auto _ : state) {
        f.chainCopy();
        dcAverageFilter(&f.fa, nullptr);
        benchmark::DoNotOptimize(f.dstBuf.data());
    }
    dcHistoryReset();
    setFrameCounters(state);
}
BENCHMARK(BM_DcAverage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

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
    std::vector<int32_t> s(kW), c(kW);
    std::vector<uint32_t> row(kW);
    std::mt19937 rng(3);
    for (int j = 0; j < kW; j++) {
        s[(size_t)j] = (int32_t)(rng() % 513) - 256;
        c[(size_t)j] = (int32_t)(rng() % 513) - 256;
        row[(size_t)j] = rng();
    }
    const HarmonicCoeffs coeffs{{-1200, 3400}, {560, -7800}, {90, 10}};
    for (auto _ : state) {
        dsp.addComponent(row.data(), kW, &coeffs, s.data(), c.data());
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations() * kW);
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
    std::vector<uint32_t> row(kW);
    std::mt19937 rng(4);
    for (uint32_t &p : row)
        p = rng();
    int flip = 1;
    for (auto _ : state) {
        dsp.dcShiftRow(row.data(), kW, 7 * flip, -5 * flip, 3 * flip);
        flip = -flip;
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations() * kW);
}
BENCHMARK(BM_DcShiftRow)->DenseRange(CPU_SCALAR, CPU_AVX512);

}  // namespace
