// Engine kernels per instruction-set level on a 720-sample row, and the bare
// 16-bit multiply-add peak of each level for comparison.
//
// The peak of a level is measured, not taken from a data sheet: twelve
// independent chains of its widest 16-bit multiply-add (maddPeak/<level>),
// next to the core clock (coreClock), so that instructions per cycle = GMAC /
// (lanes x GHz) and peak = instructions per cycle x lanes x clock.
//
// Counters: GMAC is 10^9 16 x 16-bit multiply-adds, printed per second (so
// "GMAC=160/s" is 160 multiply-adds per nanosecond), counting for analysis and
// synthesis N harmonics x 3 planes x 720 samples x 2 (sine and cosine), for
// correlation 720 pixels x 6. px is 10^9 pixels, likewise.
#include <benchmark/benchmark.h>
#include <string.h>

#include <string>
#include <vector>

#include "engine/dsp.h"
#include "engine/trig_tables.h"

namespace {

constexpr int kWidth = 720;

struct Row {
    std::vector<int16_t> sin16, cos16, planar;
    std::vector<int32_t> sin32, cos32, work;
    std::vector<uint32_t> pixels;
    std::vector<HarmonicCoeffs> coeffs;

    Row()
        : sin16((size_t)kWidth * kWidth), cos16(sin16.size()), planar((size_t)3 * kWidth), sin32(sin16.size()),
          cos32(sin16.size()), work((size_t)16 * kWidth), pixels(kWidth), coeffs(kWidth)
    {
        fillTrigTable16(sin16.data(), cos16.data(), kWidth, kWidth, ANGLE_RECIPROCAL);
        fillTrigTable32(sin32.data(), cos32.data(), kWidth, kWidth, ANGLE_RECIPROCAL);
        uint32_t seed = 12345;
        for (auto &p : pixels) {
            seed = seed * 1664525u + 1013904223u;
            p = seed;
        }
        unpack_row_c(pixels.data(), planar.data(), kWidth);
        analyse_row_c(planar.data(), 0, kWidth, kWidth, coeffs.data(), sin16.data(), cos16.data(), kWidth);
    }
};

const Row &row()
{
    static const Row r;
    return r;
}

bool ready(benchmark::State &state, CpuLevel level, EngineDsp *dsp)
{
    if (level > cpuDetect()) {
        state.SkipWithError("instruction set not available on this CPU");
        return false;
    }
    engineDspInit(dsp, level);
    return true;
}

void setMacs(benchmark::State &state, double macsPerIteration)
{
    state.counters["GMAC"] = benchmark::Counter(macsPerIteration * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}

void analyse(benchmark::State &state, CpuLevel level, int count)
{
    EngineDsp dsp;
    if (!ready(state, level, &dsp))
        return;
    const Row &r = row();
    std::vector<HarmonicCoeffs> out((size_t)count);
    for (auto _ : state) {
        dsp.analyseRow(r.planar.data(), 0, count, kWidth, out.data(), r.sin16.data(), r.cos16.data(), kWidth);
        benchmark::ClobberMemory();
    }
    setMacs(state, (double)count * 3 * kWidth * 2);
}

void synthesise(benchmark::State &state, CpuLevel level, int count)
{
    EngineDsp dsp;
    if (!ready(state, level, &dsp))
        return;
    const Row &r = row();
    std::vector<int32_t> work((size_t)4 * kWidth);
    for (auto _ : state) {
        dsp.synthesiseRow(work.data(), count, kWidth, r.coeffs.data(), r.sin16.data(), r.cos16.data(), kWidth);
        benchmark::ClobberMemory();
    }
    setMacs(state, (double)count * 3 * kWidth * 2);
}

// The whole-frame kernels over a 720 x 576 frame, 32 rows per call as the
// modes pass them.
constexpr int kFrameRows = 576, kChunk = 32;

struct FrameData {
    std::vector<uint32_t> quads, pixels;
    std::vector<int16_t> planar;
    Tables16View view;
    FrameData()
        : quads(analysisQuadsBytes(kWidth, kWidth) / 4), pixels((size_t)kWidth * kFrameRows),
          planar((size_t)3 * kWidth * kFrameRows)
    {
        const Row &r = row();
        fillAnalysisQuads(r.sin16.data(), r.cos16.data(), kWidth, kWidth, quads.data());
        view = Tables16View{r.sin16.data(), r.cos16.data(), kWidth, kWidth, quads.data()};
        uint32_t seed = 777;
        for (auto &p : pixels) {
            seed = seed * 1664525u + 1013904223u;
            p = seed;
        }
        for (int k = 0; k < kFrameRows; k++)
            unpack_row_c(&pixels[(size_t)k * kWidth], &planar[(size_t)k * 3 * kWidth], kWidth);
    }
};

const FrameData &frameData()
{
    static const FrameData f;
    return f;
}

void analyseFrame(benchmark::State &state, CpuLevel level, int count)
{
    EngineDsp dsp;
    if (!ready(state, level, &dsp))
        return;
    const FrameData &f = frameData();
    std::vector<HarmonicCoeffs> out((size_t)kChunk * count);
    for (auto _ : state) {
        for (int r0 = 0; r0 < kFrameRows; r0 += kChunk)
            dsp.analyseRows(&f.planar[(size_t)r0 * 3 * kWidth], 3 * kWidth, kChunk, count, kWidth, out.data(), count,
                            &f.view);
        benchmark::ClobberMemory();
    }
    setMacs(state, (double)(count - 1) * 3 * kWidth * 2 * kFrameRows);
}

void synthesiseFrame(benchmark::State &state, CpuLevel level, int count)
{
    EngineDsp dsp;
    if (!ready(state, level, &dsp))
        return;
    const FrameData &f = frameData();
    const Row &r = row();
    std::vector<HarmonicCoeffs> coeffs((size_t)kChunk * count);
    for (int k = 0; k < kChunk; k++)
        for (int h = 0; h < count; h++)
            coeffs[(size_t)k * count + h] = r.coeffs[(size_t)((h + k) % kWidth)];
    std::vector<uint32_t> dst((size_t)kWidth * kFrameRows);
    std::vector<int32_t> work(synthesiseRowsWorkBytes(kWidth, count) / 4 + 1);
    for (auto _ : state) {
        for (int r0 = 0; r0 < kFrameRows; r0 += kChunk)
            dsp.synthesiseRows(coeffs.data(), count, kChunk, count, kWidth, &dst[(size_t)r0 * kWidth], 4 * kWidth,
                               work.data(), &f.view);
        benchmark::ClobberMemory();
    }
    setMacs(state, (double)count * 3 * kWidth * 2 * kFrameRows);
}

void correlate(benchmark::State &state, CpuLevel level)
{
    EngineDsp dsp;
    if (!ready(state, level, &dsp))
        return;
    const Row &r = row();
    HarmonicCoeffs out;
    for (auto _ : state) {
        dsp.correlateRow(r.pixels.data(), kWidth, &out, 37, r.sin32.data(), r.cos32.data(), kWidth);
        benchmark::DoNotOptimize(out);
    }
    setMacs(state, (double)kWidth * 6);
}

void unpackPack(benchmark::State &state, CpuLevel level)
{
    EngineDsp dsp;
    if (!ready(state, level, &dsp))
        return;
    const Row &r = row();
    std::vector<int16_t> planar((size_t)3 * kWidth);
    std::vector<uint32_t> pixels((size_t)kWidth);
    for (auto _ : state) {
        dsp.unpackRow(r.pixels.data(), planar.data(), kWidth);
        dsp.packRow(planar.data(), pixels.data(), kWidth);
        benchmark::ClobberMemory();
    }
    state.counters["Gpx"] = benchmark::Counter(kWidth * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}

// Peak: 12 independent multiply-add chains of the widest register of each
// level, written in assembly so that nothing else competes. Each instruction
// counts 4 (MMX), 8 (SSE2), 16 (AVX2) or 32 (AVX-512) multiply-adds.
#if defined(__x86_64__)
#define TWELVE(op) op(2) op(3) op(4) op(5) op(6) op(7) op(8) op(9) op(10) op(11) op(12) op(13)
#define MMX_OP(k) "pmaddwd %%mm0, %%mm" #k "\n\t"
#define SSE2_OP(k) "pmaddwd %%xmm0, %%xmm" #k "\n\t"
#define AVX2_OP(k) "vpmaddwd %%ymm0, %%ymm1, %%ymm" #k "\n\t"
#define AVX512_OP(k) "vpmaddwd %%zmm0, %%zmm1, %%zmm" #k "\n\t"
#define VNNI_OP(k) "vpdpwssd %%zmm0, %%zmm1, %%zmm" #k "\n\t"
#define XMM_CLOBBERS \
    "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11", "xmm12", "xmm13"

// MMX has eight registers: six chains.
#define SIX_MMX MMX_OP(2) MMX_OP(3) MMX_OP(4) MMX_OP(5) MMX_OP(6) MMX_OP(7)

void peakMmx(long iterations)
{
    __asm__ volatile("pxor %%mm0, %%mm0\n\t"
                     "1:\n\t" SIX_MMX SIX_MMX SIX_MMX SIX_MMX SIX_MMX SIX_MMX SIX_MMX SIX_MMX SIX_MMX SIX_MMX SIX_MMX
                         SIX_MMX SIX_MMX SIX_MMX SIX_MMX SIX_MMX "dec %0\n\tjnz 1b\n\temms"
                     : "+r"(iterations)::"mm0", "mm2", "mm3", "mm4", "mm5", "mm6", "mm7", "cc");
}

#define EIGHT(x) x x x x x x x x
#define ADD_OP(k) "add $" #k ", %0\n\t"

void peakSse2(long iterations)
{
    __asm__ volatile("pxor %%xmm0, %%xmm0\n\t"
                     "1:\n\t" EIGHT(TWELVE(SSE2_OP)) "dec %0\n\tjnz 1b"
                     : "+r"(iterations)::XMM_CLOBBERS, "cc");
}

void peakAvx2(long iterations)
{
    __asm__ volatile("vpxor %%xmm0, %%xmm0, %%xmm0\n\tvpxor %%xmm1, %%xmm1, %%xmm1\n\t"
                     "1:\n\t" EIGHT(TWELVE(AVX2_OP)) "dec %0\n\tjnz 1b\n\tvzeroupper"
                     : "+r"(iterations)::XMM_CLOBBERS, "cc");
}

void peakAvx512(long iterations)
{
    __asm__ volatile("vpxord %%zmm0, %%zmm0, %%zmm0\n\tvpxord %%zmm1, %%zmm1, %%zmm1\n\t"
                     "1:\n\t" EIGHT(TWELVE(AVX512_OP)) "dec %0\n\tjnz 1b\n\tvzeroupper"
                     : "+r"(iterations)::XMM_CLOBBERS, "cc");
}

void peakVnni(long iterations)
{
    __asm__ volatile("vpxord %%zmm0, %%zmm0, %%zmm0\n\tvpxord %%zmm1, %%zmm1, %%zmm1\n\t"
                     "1:\n\t" EIGHT(TWELVE(VNNI_OP)) "dec %0\n\tjnz 1b\n\tvzeroupper"
                     : "+r"(iterations)::XMM_CLOBBERS, "cc");
}

// The core clock: a chain of dependent one-cycle additions, 96 per loop.
// With the peak's multiply-adds per second it gives the instructions per
// cycle: GMAC / (lanes x GHz).
void clockChain(long iterations)
{
    long x = 0;
    __asm__ volatile("1:\n\t" EIGHT(TWELVE(ADD_OP)) "dec %1\n\tjnz 1b" : "+r"(x), "+r"(iterations)::"cc");
}

void coreClock(benchmark::State &state)
{
    const long inner = 100000;
    for (auto _ : state)
        clockChain(inner);
    state.counters["GHz"] = benchmark::Counter(96.0 * inner * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}

void peak(benchmark::State &state, CpuLevel level, void (*loop)(long), double macsPerLoop)
{
    if (level > cpuDetect()) {
        state.SkipWithError("instruction set not available on this CPU");
        return;
    }
    const long inner = 1000;
    for (auto _ : state)
        loop(inner);
    state.counters["GMAC"] =
        benchmark::Counter(macsPerLoop * inner * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}
#endif

const CpuLevel kLevels[] = {CPU_SCALAR, CPU_MMX, CPU_SSE2, CPU_AVX2, CPU_AVX512};

int registerAll()
{
    for (CpuLevel level : kLevels) {
        const std::string isa = cpuLevelName(level);
        for (int count : {10, 64, 352}) {
            benchmark::RegisterBenchmark(("analyse720/" + isa + "/" + std::to_string(count)).c_str(), analyse, level,
                                         count);
            benchmark::RegisterBenchmark(("synthesise720/" + isa + "/" + std::to_string(count)).c_str(), synthesise,
                                         level, count);
        }
        for (int count : {10, 352}) {
            benchmark::RegisterBenchmark(("analyseFrame720x576/" + isa + "/" + std::to_string(count)).c_str(),
                                         analyseFrame, level, count);
            benchmark::RegisterBenchmark(("synthesiseFrame720x576/" + isa + "/" + std::to_string(count)).c_str(),
                                         synthesiseFrame, level, count);
        }
        benchmark::RegisterBenchmark(("correlate720/" + isa).c_str(), correlate, level);
        benchmark::RegisterBenchmark(("unpackPack720/" + isa).c_str(), unpackPack, level);
    }
#if defined(__x86_64__)
    benchmark::RegisterBenchmark("maddPeak/mmx", peak, CPU_MMX, peakMmx, 16.0 * 6 * 4);
    benchmark::RegisterBenchmark("maddPeak/sse2", peak, CPU_SSE2, peakSse2, 8.0 * 12 * 8);
    benchmark::RegisterBenchmark("maddPeak/avx2", peak, CPU_AVX2, peakAvx2, 8.0 * 12 * 16);
    benchmark::RegisterBenchmark("maddPeak/avx512", peak, CPU_AVX512, peakAvx512, 8.0 * 12 * 32);
    benchmark::RegisterBenchmark("maddPeak/avx512vnni", peak, CPU_AVX512, peakVnni, 8.0 * 12 * 32);
    benchmark::RegisterBenchmark("coreClock", coreClock);
#endif
    return 0;
}

const int registered = registerAll();

}  // namespace
