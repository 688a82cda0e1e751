// Every variant of the modes' per-pixel kernels against the scalar reference:
// random and extreme inputs, all widths up to a few vector lengths, nothing
// written outside the row.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "modes/modes_dsp.h"

namespace {

const int kGuard = 16;
const uint32_t kGuardWord = 0xdeadbeefu;

std::vector<uint32_t> guardedRow(int w, std::mt19937 &rng, int pattern)
{
    std::vector<uint32_t> row((size_t)w + 2 * kGuard, kGuardWord);
    for (int j = 0; j < w; j++) {
        uint32_t v = rng();
        if (pattern == 1)
            v = 0;
        else if (pattern == 2)
            v = 0xffffffffu;
        else if (pattern == 3)
            v = j & 1 ? 0xff00ff00u : 0x00ff00ffu;
        row[(size_t)kGuard + j] = v;
    }
    return row;
}

void expectGuards(const std::vector<uint32_t> &row, int w)
{
    for (int i = 0; i < kGuard; i++) {
        ASSERT_EQ(row[(size_t)i], kGuardWord);
        ASSERT_EQ(row[(size_t)kGuard + w + i], kGuardWord);
    }
}

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

}  // namespace

TEST(ModesDsp, AddComponentMatchesReference)
{
    std::mt19937 rng(1);
    const int kMaxW = 75;
    std::vector<int32_t> sinRow(kMaxW), cosRow(kMaxW);
    forEachLevel([&](const ModesDsp &dsp, CpuLevel level) {
        for (int trial = 0; trial < 400; trial++) {
            const int w = trial % kMaxW;
            const int pattern = trial % 5;
            for (int j = 0; j < kMaxW; j++) {
                sinRow[(size_t)j] = (int32_t)(rng() % 513) - 256;
                cosRow[(size_t)j] = (int32_t)(rng() % 513) - 256;
                if (pattern == 4)
                    sinRow[(size_t)j] = cosRow[(size_t)j] = j & 1 ? -256 : 256;
            }
            HarmonicCoeffs c;
            int32_t *f = &c.red.sinePart;
            for (int i = 0; i < 6; i++) {
                f[i] = (int32_t)(rng() % 261121) - 130560;  // what correlateRow gives
                if (pattern == 2)
                    f[i] = i & 1 ? 130560 : -130560;
                if (pattern == 3 && trial % 2)
                    f[i] = (int32_t)rng();  // wrapping arithmetic must agree too
            }
            auto ref = guardedRow(w, rng, pattern);
            auto got = ref;
            add_component_c(ref.data() + kGuard, w, &c, sinRow.data(), cosRow.data());
            dsp.addComponent(got.data() + kGuard, w, &c, sinRow.data(), cosRow.data());
            ASSERT_EQ(got, ref) << cpuLevelName(level) << " w " << w << " trial " << trial;
            expectGuards(got, w);
        }
    });
}

TEST(ModesDsp, DcShiftRowMatchesReference)
{
    std::mt19937 rng(2);
    forEachLevel([&](const ModesDsp &dsp, CpuLevel level) {
        for (int trial = 0; trial < 400; trial++) {
            const int w = trial % 70;
            const int pattern = trial % 4;
            int d[3];
            for (int &x : d)
                x = (int)(rng() % 511) - 255;
            if (trial % 7 == 0)
                d[0] = 255, d[1] = -255, d[2] = 0;
            auto ref = guardedRow(w, rng, pattern);
            auto got = ref;
            dc_shift_row_c(ref.data() + kGuard, w, d[0], d[1], d[2]);
            dsp.dcShiftRow(got.data() + kGuard, w, d[0], d[1], d[2]);
            ASSERT_EQ(got, ref) << cpuLevelName(level) << " w " << w << " trial " << trial;
            expectGuards(got, w);
        }
    });
}

TEST(ModesDsp, ReferenceIsTheFloorOfTheTable)
{
    ModesDsp dsp;
    EXPECT_EQ(modesDspInit(&dsp, CPU_SCALAR), CPU_SCALAR);
    EXPECT_EQ(dsp.addComponent, add_component_c);
    EXPECT_EQ(dsp.dcShiftRow, dc_shift_row_c);
}

// The process-wide table follows the one cap of every layer.
TEST(ModesDsp, ProcessTableFollowsTheCap)
{
    dspSetCpuCap(CPU_SCALAR);
    EXPECT_EQ(modesDsp().dcShiftRow, dc_shift_row_c);
    if (cpuDetect() >= CPU_SSE2) {
        ModesDsp want;
        modesDspInit(&want, CPU_SSE2);
        dspSetCpuCap(CPU_SSE2);
        EXPECT_EQ(modesDsp().dcShiftRow, want.dcShiftRow);
        EXPECT_NE(modesDsp().dcShiftRow, dc_shift_row_c);
    }
    dspSetCpuCap(cpuCapFromEnv());
}
