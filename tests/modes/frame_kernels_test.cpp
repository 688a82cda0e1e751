// The whole-band and whole-chunk kernels of the modes against their scalar
// references at every level: the band subtraction (addComponents) over widths
// and band sizes with random, extreme and wrapping coefficients; the scaling
// of records by the curve's gains with gains 0, 1, in between and above, and
// fields at the int32 limits. Nothing may be written outside the outputs.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <random>
#include <vector>

#include "modes/guards.h"
#include "modes/modes_dsp.h"

namespace {

const uint32_t kGuardWord = 0xdeadbeefu;

template <typename F>
void forEachLevel(F check)
{
    for (int level = CPU_MMX; level <= cpuDetect(); level++) {
        ModesDsp dsp;
        if (modesDspInit(&dsp, (CpuLevel)level) != level)
            continue;
        check(dsp, (CpuLevel)level);
    }
}

TEST(ModesFrameKernels, BandSubtractionMatchesReference)
{
    std::mt19937 rng(11);
    forEachLevel([&](const ModesDsp &dsp, CpuLevel level) {
        for (int trial = 0; trial < 300; trial++) {
            const int w = trial % 71 + (trial % 5 == 0 ? 700 : 0);
            const int count = trial % 13;
            const int stride = w + trial % 3;
            // Table rows of the band, entries -256..256 (what the 32-bit tables hold).
            std::vector<int32_t> sinRows((size_t)stride * (count + 1)), cosRows(sinRows.size());
            for (size_t i = 0; i < sinRows.size(); i++) {
                sinRows[i] = (int32_t)(rng() % 513) - 256;
                cosRows[i] = (int32_t)(rng() % 513) - 256;
            }
            std::vector<HarmonicCoeffs> coeffs((size_t)count + 1);
            for (auto &c : coeffs) {
                int32_t *f = &c.red.sinePart;
                for (int i = 0; i < 6; i++) {
                    const int kind = (int)(rng() % 4);
                    f[i] = kind == 0   ? (int32_t)(rng() % 261121) - 130560  // what correlateRow gives
                           : kind == 1 ? (i & 1 ? 130560 : -130560)
                           : kind == 2 ? (int32_t)rng()  // wrapping arithmetic must agree too
                                       : (int32_t)(rng() % 4001) - 2000;
                }
            }
            std::vector<uint32_t> ref((size_t)w + 32, kGuardWord);
            for (int j = 0; j < w; j++)
                ref[16 + (size_t)j] = trial % 7 == 0 ? 0xff000000u * (j & 1) : (uint32_t)rng();
            std::vector<uint32_t> got = ref;
            add_components_c(ref.data() + 16, w, coeffs.data(), count, sinRows.data(), cosRows.data(), stride);
            dsp.addComponents(got.data() + 16, w, coeffs.data(), count, sinRows.data(), cosRows.data(), stride);
            ASSERT_EQ(ref, got) << cpuLevelName(level) << " w " << w << " band " << count << " trial " << trial;
        }
    });
}

TEST(ModesFrameKernels, BandSubtractionIsTheRowKernelInOrder)
{
    // Clamping after every harmonic makes the order matter: a component that
    // drives a byte below 0 and one that lifts it again leave it at the lift.
    const int w = 20;
    std::vector<int32_t> sinRows((size_t)2 * w, 0), cosRows((size_t)2 * w, 256);
    HarmonicCoeffs coeffs[2] = {{{0, -200 * 256}, {0, 0}, {0, 0}}, {{0, 30 * 256}, {0, 0}, {0, 0}}};
    forEachLevel([&](const ModesDsp &dsp, CpuLevel level) {
        std::vector<uint32_t> row((size_t)w, 0x00640000u);  // red 100
        dsp.addComponents(row.data(), w, coeffs, 2, sinRows.data(), cosRows.data(), w);
        for (int j = 0; j < w; j++)
            ASSERT_EQ(0x001e0000u, row[(size_t)j]) << cpuLevelName(level) << " pixel " << j;  // 0, then 30
    });
}

TEST(ModesFrameKernels, RecordScalingMatchesReference)
{
    std::mt19937 rng(12);
    static const int32_t limits[] = {INT32_MIN, INT32_MIN + 1, -130560, -32769,        -1,       0,
                                     1,         32768,         130560,  INT32_MAX - 1, INT32_MAX};
    static const float gains[] = {0.0f, 1.0f, 0.5f, 0.99932f, 0.126f, 1e-7f, 1.5f, 3.0f, -1.0f, 0.3333333f};
    forEachLevel([&](const ModesDsp &dsp, CpuLevel level) {
        for (int trial = 0; trial < 120; trial++) {
            const int rows = trial % 4 + 1, count = trial % 70 + (trial % 9 == 0 ? 130 : 0);
            const ptrdiff_t stride = count + trial % 3;
            std::vector<HarmonicCoeffs> in((size_t)stride * rows);
            for (auto &r : in) {
                int32_t *f = &r.red.sinePart;
                for (int i = 0; i < 6; i++)
                    f[i] = rng() % 3 == 0 ? limits[rng() % 11] : (int32_t)rng() >> (rng() % 20);
            }
            std::vector<float> g((size_t)count + 1);
            for (auto &x : g)
                x = rng() % 2 ? gains[rng() % 10] : (float)(rng() % 100000) / 100000.0f;
            // Outputs with a guard record after the last row's records.
            std::vector<HarmonicCoeffs> ref(in.size() + 1), got(in.size() + 1);
            memset(ref.data(), 0x5a, ref.size() * sizeof(HarmonicCoeffs));
            memset(got.data(), 0x5a, got.size() * sizeof(HarmonicCoeffs));
            scale_records_c(in.data(), ref.data(), stride, rows, count, g.data());
            dsp.scaleRecords(in.data(), got.data(), stride, rows, count, g.data());
            ASSERT_EQ(0, memcmp(ref.data(), got.data(), ref.size() * sizeof(HarmonicCoeffs)))
                << cpuLevelName(level) << " rows " << rows << " count " << count << " trial " << trial;
        }
    });
}

TEST(ModesFrameKernels, RecordScalingWorkedValues)
{
    // trunc(v x g) in double, saturated: what the curve-weighted pass 2 does.
    const HarmonicCoeffs in[2] = {{{7, -7}, {INT32_MAX, INT32_MIN}, {130560, -1}},
                                  {{7, -7}, {INT32_MAX, INT32_MIN}, {130560, -1}}};
    const float g[2] = {1.0f, 0.5f};
    forEachLevel([&](const ModesDsp &dsp, CpuLevel level) {
        HarmonicCoeffs out[2];
        dsp.scaleRecords(in, out, 2, 1, 2, g);
        EXPECT_EQ(0, memcmp(&in[0], &out[0], sizeof in[0])) << cpuLevelName(level) << ": a gain of 1.0 copies";
        EXPECT_EQ(3, out[1].red.sinePart);
        EXPECT_EQ(-3, out[1].red.cosinePart);  // toward zero
        EXPECT_EQ(1073741823, out[1].green.sinePart);
        EXPECT_EQ(-1073741824, out[1].green.cosinePart);
        EXPECT_EQ(65280, out[1].blue.sinePart);
        EXPECT_EQ(0, out[1].blue.cosinePart);
        const float big[2] = {3.0f, -3.0f};
        dsp.scaleRecords(in, out, 2, 1, 2, big);
        EXPECT_EQ(INT32_MAX, out[0].green.sinePart) << cpuLevelName(level) << ": saturated, not wrapped";
        EXPECT_EQ(INT32_MIN, out[0].green.cosinePart);
        EXPECT_EQ(INT32_MIN, out[1].green.sinePart);
        EXPECT_EQ(INT32_MAX, out[1].green.cosinePart);
    });
}

TEST(ModesFrameKernels, WeightedPowerMatchesReference)
{
    std::mt19937 rng(13);
    forEachLevel([&](const ModesDsp &dsp, CpuLevel level) {
        for (int trial = 0; trial < 150; trial++) {
            const int nrows = trial % 5 + 1, count = trial % 37 + (trial % 11 == 0 ? 300 : 0);
            const ptrdiff_t stride = count + trial % 2;
            std::vector<HarmonicCoeffs> rows((size_t)stride * nrows + 1);
            const int kind = trial % 3;
            for (auto &r : rows) {
                int32_t *f = &r.red.sinePart;
                for (int i = 0; i < 6; i++)
                    f[i] = kind == 0   ? (int32_t)(rng() % 261121) - 130560  // what the analysis gives
                           : kind == 1 ? (int32_t)(rng() % 65281)            // row means
                                       : (int32_t)rng() >> (rng() % 8);      // up to the 32-bit range
            }
            // Accumulators from zero, from large values, and at the saturation point.
            std::vector<int64_t> ref((size_t)count + 1), got;
            for (auto &p : ref)
                p = trial % 4 == 0 ? INT64_MAX - (int64_t)(rng() % 4) : trial % 4 == 1 ? (int64_t)rng() << 20 : 0;
            got = ref;
            weighted_power_c(rows.data(), stride, nrows, count, ref.data());
            dsp.weightedPower(rows.data(), stride, nrows, count, got.data());
            ASSERT_EQ(ref, got) << cpuLevelName(level) << " rows " << nrows << " count " << count << " trial " << trial;
        }
    });
}

}  // namespace
