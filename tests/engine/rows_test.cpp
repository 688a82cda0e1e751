// Whole-frame kernels (analyseRows, synthesiseRows) against their scalar
// references: every level's form over widths, row counts, harmonic counts,
// strides and contents, with real and random tables, inputs ending at an
// inaccessible page and canaries around every output; the harmonic-group
// table layout; the engine operations over the process-wide tables.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/x86/dsp_x86.h"
#include "tests/engine/guarded.h"

using enginecases::Guarded;

namespace {

// splitmix64, as the other engine tests use.
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t next()
    {
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    uint32_t u32() { return (uint32_t)next(); }
};

// A 16-bit pair and its group layout, each ending at an inaccessible page,
// and the view of both.
struct Tables {
    Guarded sin, cos, quads;
    int rows = 0, n = 0;

    Tables(int rows_, int n_, bool random, Random &rng)
        : sin(sizeof(int16_t) * (size_t)rows_ * n_), cos(sin.size()), quads(analysisQuadsBytes(rows_, n_)), rows(rows_),
          n(n_)
    {
        if (random) {
            for (size_t i = 0; i < (size_t)rows * n; i++) {
                sin.as<int16_t>()[i] = (int16_t)rng.u32();
                cos.as<int16_t>()[i] = (int16_t)rng.u32();
            }
        } else {
            fillTrigTable16(sin.as<int16_t>(), cos.as<int16_t>(), rows, n, ANGLE_RECIPROCAL);
        }
        fillAnalysisQuads(sin.as<int16_t>(), cos.as<int16_t>(), rows, n, quads.as<uint32_t>());
    }
    Tables16View view(bool withQuads) const
    {
        return Tables16View{sin.as<int16_t>(), cos.as<int16_t>(), rows, n, withQuads ? quads.as<uint32_t>() : nullptr};
    }
};

struct RowsVariant {
    const char *name;
    CpuLevel level;
};

std::vector<RowsVariant> rowsLevels()
{
    std::vector<RowsVariant> all;
    static const char *const names[] = {"scalar", "mmx", "sse2", "avx2", "avx512"};
    for (int l = CPU_MMX; l <= cpuDetect(); l++)
        all.push_back({names[l], (CpuLevel)l});
    return all;
}

std::string text(const char *fmt, int a, int b, int c, int d)
{
    char buf[160];
    snprintf(buf, sizeof buf, fmt, a, b, c, d);
    return buf;
}

class RowsKernels : public ::testing::TestWithParam<RowsVariant> {
protected:
    void SetUp() override { ASSERT_EQ(GetParam().level, engineDspInit(&dsp, GetParam().level)); }
    EngineDsp dsp;
};

const int kWidths[] = {4,  5,  6,  7,  8,  10,  12,  14,  16,  18,  30,  32,  34,  48,  62,  63, 64,
                       65, 66, 78, 94, 96, 110, 126, 128, 130, 142, 190, 256, 258, 360, 720, 721};
const int kRows[] = {1, 2, 3, 8, 9, 31, 33, 70};

std::vector<int> countsFor(int w)
{
    std::vector<int> c = {0, 1, 2, 3, 4, 5, 6, 9, 13, 16, 17, 18, 20, 33, w / 2, w - 1, w};
    std::sort(c.begin(), c.end());
    c.erase(std::unique(c.begin(), c.end()), c.end());
    c.erase(std::remove_if(c.begin(), c.end(), [w](int k) { return k > w; }), c.end());
    return c;
}

// Sample contents: random bytes, random int16, all 255, all 0, alternating.
int16_t sample(int kind, Random &rng, int j)
{
    switch (kind) {
    case 0: return (int16_t)(rng.u32() & 0xff);
    case 1: return (int16_t)rng.u32();
    case 2: return 255;
    case 3: return 0;
    default: return (int16_t)((j & 1) ? 255 : 0);
    }
}

TEST_P(RowsKernels, AnalysisMatchesRowByRowReference)
{
    Random rng(7);
    int failures = 0;
    for (int w : kWidths) {
        for (int tableKind = 0; tableKind < 2 && failures < 5; tableKind++) {
            const Tables tab(w, w, tableKind == 1, rng);
            for (int rows : kRows) {
                // Rows padded apart, the last one ending at an inaccessible page.
                const ptrdiff_t planarStride = 3 * (ptrdiff_t)w + (rows % 2 ? 5 : 0);
                Guarded planar(sizeof(int16_t) * (size_t)(planarStride * (rows - 1) + 3 * w));
                const int kind = (w + rows) % 5;
                for (ptrdiff_t i = 0; i < planarStride * (rows - 1) + 3 * w; i++)
                    planar.as<int16_t>()[i] = sample(kind, rng, (int)(i % w));
                for (int count : countsFor(w)) {
                    if ((long long)w * count * rows > 2000000)
                        continue;
                    const ptrdiff_t outStride = count + 3;
                    const size_t records = (size_t)(outStride * (rows - 1) + std::max(count, 0));
                    std::vector<HarmonicCoeffs> want(records + 1);
                    memset(want.data(), 0x5a, want.size() * sizeof(HarmonicCoeffs));
                    const Tables16View view = tab.view(true);
                    analyse_rows_c(planar.as<int16_t>(), planarStride, rows, count, w, want.data(), outStride, &view);
                    for (int withQuads = 0; withQuads < 2; withQuads++) {
                        Guarded out(sizeof(HarmonicCoeffs) * records);
                        memset(out.as<char>(), 0x5a, out.size());
                        const Tables16View v = tab.view(withQuads == 1);
                        dsp.analyseRows(planar.as<int16_t>(), planarStride, rows, count, w, out.as<HarmonicCoeffs>(),
                                        outStride, &v);
                        const bool same = memcmp(want.data(), out.as<char>(), out.size()) == 0;
                        EXPECT_TRUE(same && out.canaryIntact())
                            << text("w=%d rows=%d count=%d, ", w, rows, count, 0)
                            << (tableKind ? "random tables" : "real tables")
                            << (withQuads ? ", group layout" : ", rows only")
                            << (same ? ": wrote below the output" : ": records differ");
                        failures += !(same && out.canaryIntact());
                    }
                }
            }
        }
    }
}

// Coefficients: random int32, random int16, extremes, zero.
int32_t coefficient(int kind, Random &rng)
{
    static const int32_t extremes[] = {INT32_MIN, INT32_MAX, -40000, 40000, -32769, -32768,
                                       32767,     32768,     65280,  -1,    0,      1};
    switch (kind) {
    case 0: return (int32_t)rng.u32();
    case 1: return (int32_t)(int16_t)rng.u32();
    case 2: return extremes[rng.u32() % 12];
    default: return 0;
    }
}

TEST_P(RowsKernels, SynthesisAndPackMatchRowByRowReference)
{
    Random rng(8);
    int failures = 0;
    for (int w : kWidths) {
        for (int tableKind = 0; tableKind < 2 && failures < 5; tableKind++) {
            const Tables tab(w, w, tableKind == 1, rng);
            const Tables16View view = tab.view(true);
            for (int rows : kRows) {
                for (int count : countsFor(w)) {
                    if ((long long)w * count * rows > 2000000)
                        continue;
                    const ptrdiff_t coeffStride = count + 1;
                    Guarded coeffs(sizeof(HarmonicCoeffs) * (size_t)(coeffStride * (rows - 1) + std::max(count, 1)));
                    const int kind = (w + rows + count) % 4;
                    for (size_t i = 0; i < coeffs.size() / 4; i++)
                        coeffs.as<int32_t>()[i] = coefficient(kind, rng);
                    // Padded pixel rows; the pixels past 2 x (w / 2) and the
                    // padding must keep their content.
                    const int pitchPixels = w + (rows % 3);
                    const size_t pixels = (size_t)pitchPixels * (rows - 1) + (size_t)w;
                    std::vector<uint32_t> want(pixels);
                    for (auto &p : want)
                        p = rng.u32();
                    Guarded got(pixels * 4);
                    memcpy(got.as<uint32_t>(), want.data(), pixels * 4);
                    std::vector<int32_t> refWork((size_t)4 * w);
                    synthesise_rows_c(coeffs.as<HarmonicCoeffs>(), coeffStride, rows, count, w, want.data(),
                                      (ptrdiff_t)pitchPixels * 4, refWork.data(), &view);
                    Guarded work(synthesiseRowsWorkBytes(w, count));
                    for (size_t i = 0; i < work.size(); i++)
                        work.as<unsigned char>()[i] = (unsigned char)rng.u32();
                    dsp.synthesiseRows(coeffs.as<HarmonicCoeffs>(), coeffStride, rows, count, w, got.as<uint32_t>(),
                                       (ptrdiff_t)pitchPixels * 4, work.as<int32_t>(), &view);
                    size_t bad = pixels;
                    for (size_t i = 0; i < pixels && bad == pixels; i++)
                        if (want[i] != got.as<uint32_t>()[i])
                            bad = i;
                    const bool ok = bad == pixels && got.canaryIntact() && work.canaryIntact();
                    EXPECT_TRUE(ok) << text("w=%d rows=%d count=%d, coefficient kind %d", w, rows, count, kind)
                                    << (tableKind ? ", random tables" : ", real tables")
                                    << (bad < pixels ? text(": pixel %d of row %d is %08x", (int)(bad % pitchPixels),
                                                            (int)(bad / pitchPixels), (int)got.as<uint32_t>()[bad], 0)
                                                     : std::string(": wrote outside its buffers"));
                    failures += !ok;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Level, RowsKernels, ::testing::ValuesIn(rowsLevels()),
                         [](const ::testing::TestParamInfo<RowsVariant> &param) { return param.param.name; });

TEST(AnalysisQuads, LayoutHoldsEveryEntryOnce)
{
    // Small tables with distinct entries: every layout dword can be traced
    // back to the two table entries it must hold.
    for (int rows : {1, 2, 5, 9, 12}) {
        for (int n : {4, 7, 8, 12}) {
            std::vector<int16_t> s((size_t)rows * n), c(s.size());
            for (size_t i = 0; i < s.size(); i++) {
                s[i] = (int16_t)(i + 1);
                c[i] = (int16_t) - (int)(i + 1);
            }
            const size_t bytes = analysisQuadsBytes(rows, n);
            const int groups = rows < 2 ? 0 : (rows + 2) / 4, quads = n / 4;
            ASSERT_EQ((size_t)groups * quads * 64, bytes) << rows << " x " << n;
            std::vector<uint32_t> layout(bytes / 4 + 1, 0xdeadbeef);
            fillAnalysisQuads(s.data(), c.data(), rows, n, layout.data());
            EXPECT_EQ(0xdeadbeefu, layout[bytes / 4]) << "wrote past the layout";
            for (int g = 0; g < groups; g++)
                for (int q = 0; q < quads; q++)
                    for (int k = 0; k < 4; k++)
                        for (int t = 0; t < 2; t++)
                            for (int p = 0; p < 2; p++) {
                                const int h = 4 * g + 1 + k, j = 4 * q + 2 * p;
                                const uint32_t got = layout[((size_t)g * quads + q) * 16 + 4 * k + 2 * t + p];
                                uint32_t want = 0;
                                if (h < rows) {
                                    const std::vector<int16_t> &tab = t == 0 ? s : c;
                                    want = (uint16_t)tab[(size_t)h * n + j] |
                                           (uint32_t)(uint16_t)tab[(size_t)h * n + j + 1] << 16;
                                }
                                EXPECT_EQ(want, got) << "h " << h << " j " << j << " t " << t;
                            }
        }
    }
}

TEST(AnalysisQuads, BuiltAndFreedWithTheSixteenBitPair)
{
    ASSERT_EQ(0, buildTrigTables16(12, 12, ANGLE_RECIPROCAL));
    if (dspCpuLevel() >= CPU_AVX512) {
        ASSERT_NE(nullptr, trigTables.quads16);
        std::vector<uint32_t> want(analysisQuadsBytes(12, 12) / 4);
        fillAnalysisQuads(trigTables.sin16, trigTables.cos16, 12, 12, want.data());
        EXPECT_EQ(0, memcmp(want.data(), trigTables.quads16, want.size() * 4));
    } else {
        EXPECT_EQ(nullptr, trigTables.quads16);
    }
    // A rebuild replaces it; a build of one harmonic has no groups. A build
    // without a free in between leaves the old pair to the caller.
    int16_t *oldSin = trigTables.sin16, *oldCos = trigTables.cos16;
    ASSERT_EQ(0, buildTrigTables16(1, 8, ANGLE_RECIPROCAL));
    free(oldSin);
    free(oldCos);
    EXPECT_EQ(nullptr, trigTables.quads16);
    freeTrigTables16();
    EXPECT_EQ(nullptr, trigTables.quads16);
    // Below the AVX-512 level nothing reads the layout, whatever the CPU.
    dspSetCpuCap(CPU_AVX2);
    ASSERT_EQ(0, buildTrigTables16(12, 12, ANGLE_RECIPROCAL));
    EXPECT_EQ(nullptr, trigTables.quads16);
    freeTrigTables16();
    dspSetCpuCap(cpuCapFromEnv());
}

// The operations over the process-wide tables equal the row operations.
TEST(RowsOperations, SameAsRowOperationsAtEveryLevel)
{
    const int w = 200, h = 7, count = 37;
    ASSERT_EQ(0, buildTrigTables16(w, w, ANGLE_DIVIDE));
    Random rng(9);
    std::vector<uint32_t> src((size_t)w * h);
    for (auto &p : src)
        p = rng.u32();
    for (int l = CPU_SCALAR; l <= cpuDetect(); l++) {
        dspSetCpuCap((CpuLevel)l);
        std::vector<int16_t> planar((size_t)3 * w * h);
        for (int r = 0; r < h; r++)
            unpackRow(&src[(size_t)r * w], &planar[(size_t)r * 3 * w], w);
        std::vector<HarmonicCoeffs> byRow((size_t)count * h), byFrame(byRow.size());
        for (int r = 0; r < h; r++)
            analyseRow(&planar[(size_t)r * 3 * w], count, w, &byRow[(size_t)r * count]);
        analyseRows(planar.data(), 3 * w, h, count, w, byFrame.data(), count);
        EXPECT_EQ(0, memcmp(byRow.data(), byFrame.data(), byRow.size() * sizeof(HarmonicCoeffs))) << "level " << l;

        std::vector<uint32_t> rowOut((size_t)w * h), frameOut((size_t)w * h);
        std::vector<int32_t> work(synthesiseRowsWorkBytes(w, count) / 4);
        for (int r = 0; r < h; r++) {
            synthesiseRow(work.data(), count, w, &byRow[(size_t)r * count]);
            packRow((const int16_t *)work.data(), &rowOut[(size_t)r * w], w);
        }
        synthesiseRows(byRow.data(), count, h, count, w, frameOut.data(), 4 * w, work.data());
        EXPECT_EQ(rowOut, frameOut) << "level " << l;
    }
    dspSetCpuCap(cpuCapFromEnv());
    freeTrigTables16();
}

// Pixel rows straight into records: the same as unpacking and analysing row by
// row, whether the rows go four at a time (few harmonics) or all together,
// with padded rows and an unpack buffer of exactly the rows asked for.
TEST(RowsOperations, PixelRowsAnalyseAsUnpackedRows)
{
    const int w = 201, h = 7, pitch = 4 * w + 44;
    ASSERT_EQ(0, buildTrigTables16(w, w, ANGLE_RECIPROCAL));
    Random rng(12);
    std::vector<uint8_t> frame((size_t)pitch * h);
    for (auto &b : frame)
        b = (uint8_t)rng.u32();
    for (int count : {1, 10, 17, 18, 40}) {
        for (int l = CPU_SCALAR; l <= cpuDetect(); l++) {
            dspSetCpuCap((CpuLevel)l);
            std::vector<HarmonicCoeffs> byRow((size_t)count * h), byFrame(byRow.size());
            std::vector<int16_t> planar((size_t)3 * w);
            for (int r = 0; r < h; r++) {
                unpackRow((const uint32_t *)&frame[(size_t)r * pitch], planar.data(), w);
                analyseRow(planar.data(), count, w, &byRow[(size_t)r * count]);
            }
            std::vector<int16_t> buffer((size_t)3 * w * h);
            analysePixelRows((const uint32_t *)frame.data(), pitch, h, count, w, buffer.data(), 3 * w, byFrame.data(),
                             count);
            EXPECT_EQ(0, memcmp(byRow.data(), byFrame.data(), byRow.size() * sizeof(HarmonicCoeffs)))
                << "level " << l << ", " << count << " harmonics";
        }
    }
    dspSetCpuCap(cpuCapFromEnv());
    freeTrigTables16();
}

}  // namespace
