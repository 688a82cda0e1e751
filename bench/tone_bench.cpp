// Per-frame cost of the tone remover on a 720 x 576 frame of detailed
// content carrying drifting tones.
//
//   BM_ToneEstimate/T  estimation (auto mode) with T tones in the frame
//   BM_ToneRemove/L/T  removal of T tones at level L (0 scalar, 4 the best),
//                      with the default averaging along the drift
#include <benchmark/benchmark.h>
#include <math.h>

#include <random>
#include <vector>

#include "modes/tone.h"
#include "modes/tone_kernels.h"

namespace {

const int kW = 720, kH = 576;
const double kFreqs[kToneMax] = {52.37, 23.81, 88.12, 140.55, 171.3, 201.9, 250.45, 301.07};

std::vector<uint32_t> makeFrame(int tones)
{
    std::mt19937 rng(42);
    std::vector<uint32_t> px((size_t)kW * kH);
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++) {
            double v = 40 + x / 5 + y / 7 + (x / 7 % 2) * 40 + rng() % 16;
            for (int t = 0; t < tones; t++)
                v += 4 * cos(2 * M_PI * (kFreqs[t] * x / kW + y * (0.13 + 0.07 * t)));
            const uint32_t b = v < 0 ? 0 : v > 255 ? 255 : (uint32_t)v;
            px[(size_t)y * kW + x] = b << 16 | b << 8 | (255 - b);
        }
    return px;
}

void BM_ToneEstimate(benchmark::State &state)
{
    std::vector<uint32_t> px = makeFrame((int)state.range(0));
    const FrameView view{(uint8_t *)px.data(), kW, kH, kW * 4};
    ToneState ts;
    toneStateReset(&ts);
    int found = 0;
    for (auto _ : state) {
        const ToneList list = estimateTones(view, &ts, ToneSettings());
        found = list.count;
        benchmark::DoNotOptimize(list);
    }
    state.counters["found"] = found;
}
BENCHMARK(BM_ToneEstimate)->Arg(0)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_ToneRemove(benchmark::State &state)
{
    dspSetCpuCap((CpuLevel)state.range(0));
    const int tones = (int)state.range(1);
    std::vector<uint32_t> px = makeFrame(tones), out(px.size());
    const FrameView src{(uint8_t *)px.data(), kW, kH, kW * 4}, dst{(uint8_t *)out.data(), kW, kH, kW * 4};
    ToneList list{};
    list.count = tones;
    for (int t = 0; t < tones; t++)
        list.tone[t].freq = kFreqs[t];
    for (auto _ : state)
        benchmark::DoNotOptimize(removeTones(src, dst, list, ToneSettings()));
    dspSetCpuCap(cpuCapFromEnv());
}
BENCHMARK(BM_ToneRemove)->Args({0, 1})->Args({4, 1})->Args({4, 2})->Args({4, 8})->Unit(benchmark::kMillisecond);

}  // namespace
