// The linear bar display of zelt.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

#include "display/display.h"
#include "display/working_memory.h"
#include "engine/dsp.h"
#include "tests/support/frames.h"

namespace {

using namespace zelt_test;

const uint32_t BLACK = 0, WHITE = 0xFFFFFF;
const double PI = 3.14159265358979323846;

int runBars(TestBitmap &src, TestBitmap &dst, int harmonics)
{
    return zelt::runSpectrumDisplay(src.view(), dst.view(), harmonics);
}

// Rows 17.. of column x that are white, which must be one run from row 17.
int barHeight(const TestBitmap &f, int x)
{
    int height = 0;
    while (17 + height < f.h() && f.at(x, 17 + height) == WHITE)
        height++;
    for (int y = 17 + height; y < f.h(); y++)
        EXPECT_EQ(f.at(x, y), BLACK) << "column " << x << " row " << y;
    return height;
}

class SpectrumBars : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tables_.ok()); }
    TablesScope tables_{720, ANGLE_DIVIDE};
};

TEST_F(SpectrumBars, BarHeightIsTheAmplitudeInGreyLevels)
{
    // Blue 100 on row 50: harmonic 0 measures 256 x 100 = 25600, v = 25600 x
    // 0.003906 = 99.99, so rows 17..115 (j = 1..99).
    TestBitmap src(720, 576), dst(720, 576);
    src.randomise(5);
    for (int x = 0; x < 720; x++)
        src.at(x, 50) = (src.at(x, 50) & 0xffffff00) | 100;
    ASSERT_EQ(runBars(src, dst, 10), 0);
    EXPECT_EQ(barHeight(dst, 0), 99);
    EXPECT_EQ(dst.at(0, 115), WHITE);
    EXPECT_EQ(dst.at(0, 116), BLACK);
    for (int x = 1; x < 720; x++)
        EXPECT_EQ(barHeight(dst, x), 0) << x;
}

TEST_F(SpectrumBars, EveryHarmonicAgainstTheReferenceCorrelation)
{
    // A blue cosine of amplitude 50 at harmonic 100 over mean 100: each bar's
    // height follows from the reference correlation of row 50.
    TestBitmap src(720, 576), dst(720, 576);
    src.randomise(6);
    for (int x = 0; x < 720; x++) {
        const int blue = (int)lround(100 + 50 * cos(2 * PI * 100 * x / 720));
        src.at(x, 50) = (src.at(x, 50) & 0xffffff00) | (uint32_t)blue;
    }
    ASSERT_EQ(runBars(src, dst, 300), 0);
    for (int k = 0; k < 300; k++) {
        HarmonicCoeffs c;
        correlate_row_c(src.row(50), 720, &c, k, trigTables.sin32, trigTables.cos32, 720);
        const double v =
            sqrt((double)c.blue.sinePart * c.blue.sinePart + (double)c.blue.cosinePart * c.blue.cosinePart) * 0.003906;
        const int expected = v > 1.0 ? (int)ceil(v) - 1 : 0;
        EXPECT_EQ(barHeight(dst, k), expected) << "harmonic " << k;
    }
    EXPECT_GE(barHeight(dst, 100), 48);
    EXPECT_LE(barHeight(dst, 100), 50);
    EXPECT_TRUE(dst.guardsIntact());
}

TEST_F(SpectrumBars, OnlyRow50Matters)
{
    TestBitmap a(720, 576), b(720, 576);
    a.randomise(1);
    b.randomise(2);
    memcpy(b.row(50), a.row(50), 720 * 4);
    TestBitmap outA(720, 576), outB(720, 576);
    ASSERT_EQ(runBars(a, outA, 200), 0);
    ASSERT_EQ(runBars(b, outB, 200), 0);
    EXPECT_TRUE(outA.sameBytes(outB));
    // Row 50 itself does matter.
    b.at(7, 50) ^= 0xff;
    TestBitmap outC(720, 576);
    ASSERT_EQ(runBars(b, outC, 200), 0);
    EXPECT_FALSE(outA.sameBytes(outC));
}

TEST_F(SpectrumBars, ShortSourcesShowTheirLastRow)
{
    TablesScope tables(64, ANGLE_DIVIDE);
    TestBitmap a(64, 30), b(64, 30);
    a.randomise(1);
    b.randomise(2);
    memcpy(b.row(29), a.row(29), 64 * 4);
    TestBitmap outA(64, 30), outB(64, 30);
    ASSERT_EQ(runBars(a, outA, 64), 0);
    ASSERT_EQ(runBars(b, outB, 64), 0);
    EXPECT_TRUE(outA.sameBytes(outB));
}

TEST_F(SpectrumBars, BrightRowDoesNotOverflowThePower)
{
    // Blue 255: 65280 squares beyond 32 bits; v = 254.98, rows 17..270.
    TestBitmap src(720, 576), dst(720, 576);
    src.fill(0xFFFFFF);
    ASSERT_EQ(runBars(src, dst, 10), 0);
    EXPECT_EQ(barHeight(dst, 0), 254);
}

TEST_F(SpectrumBars, SameResultAtEveryInstructionSet)
{
    TestBitmap src(720, 576);
    src.randomise(42);
    TestBitmap ref(720, 576);
    dspSetCpuCap(CPU_SCALAR);
    ASSERT_EQ(runBars(src, ref, 720), 0);
    for (CpuLevel level : availableLevels()) {
        dspSetCpuCap(level);
        TestBitmap dst(720, 576);
        ASSERT_EQ(runBars(src, dst, 720), 0);
        EXPECT_TRUE(dst.sameBytes(ref)) << cpuLevelName(level);
    }
    dspSetCpuCap(cpuCapFromEnv());
}

TEST_F(SpectrumBars, PaddedRowsShowTheSamePicture)
{
    for (int w : {101, 719}) {
        TablesScope tables(w, ANGLE_DIVIDE);
        TestBitmap src(w, 300), srcPadded(w, 300, 4 * w + 60);
        src.randomise(w);
        srcPadded.randomise(w);
        srcPadded.fillPadding(0xEE);
        TestBitmap dst(w, 300), dstPadded(w, 300, 4 * w + 60);
        ASSERT_EQ(runBars(src, dst, w), 0);
        ASSERT_EQ(runBars(srcPadded, dstPadded, w), 0);
        EXPECT_TRUE(dst.samePicture(dstPadded)) << "w=" << w;
        EXPECT_TRUE(dstPadded.guardsIntact());
    }
}

TEST_F(SpectrumBars, FramesSmallerThanTheLayout)
{
    const int sizes[][2] = {{64, 48}, {320, 240}, {720, 480}, {720, 20}, {4, 1}, {1, 1}, {0, 0}, {7, 0}};
    for (const auto &s : sizes)
        for (int n : {0, 1, 10, 720}) {
            TablesScope tables(s[0], ANGLE_DIVIDE);
            TestBitmap src(s[0], s[1]), dst(s[0], s[1], 4 * s[0] + 8);
            src.fill(0xFFFFFF);
            dst.randomise(4);
            ASSERT_EQ(runBars(src, dst, n), 0) << s[0] << "x" << s[1];
            EXPECT_TRUE(dst.guardsIntact()) << s[0] << "x" << s[1] << " N=" << n;
        }
}

void *refuse(size_t, size_t)
{
    return nullptr;
}

TEST_F(SpectrumBars, MissingWorkingMemoryOrTablesLeaveTheDestinationUntouched)
{
    TestBitmap src(720, 576), dst(720, 576);
    src.randomise(1);
    dst.randomise(2);
    TestBitmap before(dst);
    void *(*saved)(size_t, size_t) = displayCalloc;
    displayCalloc = refuse;
    EXPECT_EQ(runBars(src, dst, 10), -1);
    displayCalloc = saved;
    EXPECT_TRUE(dst.sameBytes(before));

    TestBitmap other(360, 576), otherDst(360, 576);
    otherDst.randomise(3);
    TestBitmap otherBefore(otherDst);
    EXPECT_EQ(runBars(other, otherDst, 10), -1);
    EXPECT_TRUE(otherDst.sameBytes(otherBefore));
}

}  // namespace
