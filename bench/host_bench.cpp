// The spine's own costs: a run's start (both table pairs for the width) with
// its end, and one frame through the chain with every stage off (the copy).
#include <benchmark/benchmark.h>

#include <vector>

#include "host/module.h"
#include "host/settings.h"

namespace {

struct BenchFrame {
    std::vector<uint8_t> src, dst;
    VFBitmap s{}, d{};
    FilterActivation fa{};
    BenchFrame(int w, int h) : src((size_t)w * 4 * h, 0x5A), dst((size_t)w * 4 * h)
    {
        for (VFBitmap *b : {&s, &d}) {
            b->w = w;
            b->h = h;
            b->pitch = w * 4;
            b->size = (vd_sizet)src.size();
            b->depth = 32;
        }
        s.data = (uint32_t *)src.data();
        d.data = (uint32_t *)dst.data();
        fa.src = &s;
        fa.dst = &d;
    }
};

void BM_StartEnd(benchmark::State &state)
{
    BenchFrame f((int)state.range(0), 2);
    for (auto _ : state) {
        if (filterStart(&f.fa, nullptr) != 0)
            state.SkipWithError("start failed");
        filterEnd(&f.fa, nullptr);
    }
}
BENCHMARK(BM_StartEnd)->Arg(352)->Arg(720)->Unit(benchmark::kMillisecond);

void BM_CopyFrame(benchmark::State &state)
{
    filterSettings = defaultFilterSettings();
    BenchFrame f(720, 576);
    for (auto _ : state) {
        filterRun(&f.fa, nullptr);
        benchmark::DoNotOptimize(f.dst.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.src.size());
}
BENCHMARK(BM_CopyFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
