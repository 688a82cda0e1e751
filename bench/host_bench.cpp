// The spine's own costs: a run's start (both table pairs for the width) with
// its end, and one frame through the chain with every stage off (the copy).
// The module is registered and called as a host does, through its definition.
#include <benchmark/benchmark.h>
#include <string.h>

#include <string>

#include "host/module.h"
#include "host/settings.h"
#include "hosting/bitmap.h"
#include "hosting/module.h"

namespace {

struct BenchFrame {
    LoadedModule module;
    std::string error;
    HostBitmap src, dst;
    VFBitmap s{}, d{};
    FilterActivation fa{};
    BenchFrame(int w, int h)
    {
        module.link({VirtualdubFilterModuleInit2, VirtualdubFilterModuleDeinit}, error);
        // Rows exactly 4 x w bytes apart: the copy is one block.
        src.allocate(w, h, 4);
        dst.allocate(w, h, 4);
        memset(src.data(), 0x5A, src.size());
        src.describe(&s);
        dst.describe(&d);
        fa = module.activation(&s, &d);
    }
};

void BM_StartEnd(benchmark::State &state)
{
    BenchFrame f((int)state.range(0), 2);
    if (!f.module.loaded())
        state.SkipWithError(f.error.c_str());
    for (auto _ : state) {
        if (f.module.callStart(&f.fa) != 0)
            state.SkipWithError("start failed");
        f.module.callEnd(&f.fa);
    }
}
BENCHMARK(BM_StartEnd)->Arg(352)->Arg(720)->Unit(benchmark::kMillisecond);

void BM_CopyFrame(benchmark::State &state)
{
    filterSettings = defaultFilterSettings();
    BenchFrame f(720, 576);
    if (!f.module.loaded())
        state.SkipWithError(f.error.c_str());
    for (auto _ : state) {
        f.module.callRun(&f.fa);
        benchmark::DoNotOptimize(f.dst.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.src.size());
}
BENCHMARK(BM_CopyFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
