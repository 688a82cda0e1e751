// Per-frame cost of both spectrum displays on a 720 x 576 frame, per
// instruction-set cap, and of the colour conversion per instruction set.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "display/display.h"
#include "display/display_dsp.h"
#include "display/graticule.h"
#include "display/plot.h"
#include "engine/dsp.h"
#include "engine/trig_tables.h"

namespace {

const int kDisplayW = 720, kDisplayH = 576;

struct DisplayFrames {
    std::vector<uint32_t> srcBuf, dstBuf;
    FrameView src{}, dst{};

    DisplayFrames() : srcBuf((size_t)kDisplayW * kDisplayH), dstBuf((size_t)kDisplayW * kDisplayH)
    {
        std::mt19937 rng(42);
        // Gradients, a stripe pattern and noise.
        for (int y = 0; y < kDisplayH; y++)
            for (int x = 0; x < kDisplayW; x++) {
                const uint32_t v = (uint32_t)((x / 3 + y / 5 + (x / 7 % 2) * 40 + rng() % 16) & 0xff);
                srcBuf[(size_t)y * kDisplayW + x] = v << 16 | ((v * 3 / 4) & 0xff) << 8 | ((255 - v) & 0xff);
            }
        src = FrameView{(uint8_t *)srcBuf.data(), kDisplayW, kDisplayH, 4 * kDisplayW};
        dst = FrameView{(uint8_t *)dstBuf.data(), kDisplayW, kDisplayH, 4 * kDisplayW};
    }
};

struct DisplayTables {
    explicit DisplayTables(AngleForm form)
    {
        buildTrigTables16(kDisplayW, kDisplayW, form);
        buildTrigTables32(kDisplayW, kDisplayW, form);
    }
    ~DisplayTables()
    {
        freeTrigTables32();
        freeTrigTables16();
    }
};

// Caps both dispatch tables; false when this machine lacks the level.
bool capLevels(benchmark::State &state, CpuLevel level)
{
    if (level > cpuDetect()) {
        state.SkipWithError("level not available");
        return false;
    }
    dspSetCpuCap(level);
    state.SetLabel(cpuLevelName(level));
    return true;
}

void restoreLevels()
{
    dspSetCpuCap(cpuCapFromEnv());
}

template <int (*run)(FrameView, FrameView, int), AngleForm form>
void BM_SpectrumDisplay(benchmark::State &state)
{
    if (!capLevels(state, (CpuLevel)state.range(0)))
        return;
    DisplayTables tables(form);
    DisplayFrames f;
    const int harmonics = (int)state.range(1);
    for (auto _ : state) {
        run(f.src, f.dst, harmonics);
        benchmark::DoNotOptimize(f.dstBuf.data());
    }
    state.counters["frames/s"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    restoreLevels();
}

void displayArgs(benchmark::internal::Benchmark *b)
{
    for (int n : {10, 352})
        for (int level = CPU_SCALAR; level <= CPU_AVX512; level++)
            b->Args({level, n});
}

BENCHMARK_TEMPLATE(BM_SpectrumDisplay, zelt_lpf::runSpectrumDisplay, ANGLE_RECIPROCAL)
    ->Name("BM_SpectrumDisplayLpf")
    ->Apply(displayArgs)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_SpectrumDisplay, zelt::runSpectrumDisplay, ANGLE_DIVIDE)
    ->Name("BM_SpectrumDisplayBars")
    ->Apply(displayArgs)
    ->Unit(benchmark::kMillisecond);

// What every display frame does whatever the level: the clear of the whole
// destination (the floor of the bar display at small N) and the scale.
void BM_DisplayClear(benchmark::State &state)
{
    DisplayFrames f;
    for (auto _ : state) {
        clearFrame(f.dst);
        benchmark::DoNotOptimize(f.dstBuf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)f.dst.pitch * f.dst.h);
}
BENCHMARK(BM_DisplayClear)->Unit(benchmark::kMicrosecond);

void BM_DisplayGraticule(benchmark::State &state)
{
    DisplayFrames f;
    for (auto _ : state) {
        zelt::drawGraticule(f.dst);
        benchmark::DoNotOptimize(f.dstBuf.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DisplayGraticule)->Unit(benchmark::kMicrosecond);

// One 720-pixel row.
void BM_ConvertRowToYuv(benchmark::State &state)
{
    DisplayDsp dsp;
    const CpuLevel level = (CpuLevel)state.range(0);
    if (displayDspInit(&dsp, level) != level) {
        state.SkipWithError("level not available");
        return;
    }
    state.SetLabel(cpuLevelName(level));
    std::vector<uint32_t> src(kDisplayW), dst(kDisplayW);
    std::mt19937 rng(5);
    for (uint32_t &p : src)
        p = rng();
    for (auto _ : state) {
        dsp.convertRowToYuv(src.data(), dst.data(), kDisplayW);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kDisplayW);
}
BENCHMARK(BM_ConvertRowToYuv)->DenseRange(CPU_SCALAR, CPU_AVX512);

}  // namespace
