// The log-scale spectrum display of zelt_lpf.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

#include "display/display.h"
#include "display/display_dsp.h"
#include "display/working_memory.h"
#include "engine/dsp.h"
#include "tests/support/frames.h"

#ifndef ZELT_DISPLAY_OUTPUT_DIR
#define ZELT_DISPLAY_OUTPUT_DIR "."
#endif

namespace {

using namespace zelt_test;

const uint32_t BLACK = 0, GREY = 0x808080, WHITE = 0xFFFFFF, GREEN = 0x00FF00, RED = 0xFF4040;
const double PI = 3.14159265358979323846;

// A grey picture of level `mean` with a cosine of `amplitude` grey levels at
// harmonic `harmonic` along every row: it lives in the luma only, the colour
// differences are flat 128.
void greyTone(TestBitmap &f, int mean, double amplitude, int harmonic)
{
    for (int y = 0; y < f.h(); y++)
        for (int x = 0; x < f.w(); x++)
            f.at(x, y) = grey((int)lround(mean + amplitude * cos(2 * PI * harmonic * x / f.w())));
}

int runLpf(TestBitmap &src, TestBitmap &dst, int harmonics)
{
    return zelt_lpf::runSpectrumDisplay(src.view(), dst.view(), harmonics);
}

// The marker of column x: the highest white pixel above the scale.
int markerRow(const TestBitmap &f, int x)
{
    for (int y = f.h() - 1; y >= 16; y--)
        if (f.at(x, y) == WHITE)
            return y;
    return -1;
}

bool gridRow(int y)
{
    return y >= 16 && y <= 496 && (y - 16) % 40 == 0;
}

class SpectrumLpf : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tables_.ok()); }
    TablesScope tables_{720, ANGLE_RECIPROCAL};
};

TEST_F(SpectrumLpf, HandCheckedPlotOfOneInterference)
{
    // Amplitude 40 at harmonic 210: a magnitude of about 256 x 40 = 10240, so
    // v = 160 log10(10240) - 250 = 391.6 and the marker sits on row 407. The
    // flat colour differences measure 256 x 128 = 32768 at harmonic 0:
    // v = 472.5, marker row 488, at columns 352 and 528.
    TestBitmap src(720, 576), dst(720, 576);
    greyTone(src, 128, 40.0, 210);
    ASSERT_EQ(runLpf(src, dst, 352), 0);
    ASSERT_TRUE(writePpm(dst, ZELT_DISPLAY_OUTPUT_DIR "/spectrum_lpf_handchecked.ppm"));

    EXPECT_EQ(markerRow(dst, 210), 407);
    for (int y = 17; y < 407; y++)
        EXPECT_EQ(dst.at(210, y), gridRow(y) ? RED : GREY) << "bar row " << y;
    // The tallest bar of the luma plot past harmonic 0 is the interference's.
    int tallest = -1, tallestRow = 0;
    for (int x = 1; x < 352; x++)
        if (markerRow(dst, x) > tallestRow)
            tallest = x, tallestRow = markerRow(dst, x);
    EXPECT_EQ(tallest, 210);
    EXPECT_EQ(markerRow(dst, 352), 488);
    EXPECT_EQ(markerRow(dst, 528), 488);

    // The curve: gain 1 (row 416) below harmonic 60; around the interference
    // a dip to gain 0 (row 16) at its column, its neighbours 207..213 pulled
    // down with it and the harmonics below 207 left alone. (The rounding of the
    // tone to whole grey levels adds weak harmonics of its own elsewhere, which
    // the curve also rejects.)
    auto curveRow = [&](int x) {
        for (int y = 16; y < dst.h(); y++)
            if (dst.at(x, y) == GREEN)
                return y;
        return -1;
    };
    for (int x = 0; x < 57; x++)
        EXPECT_EQ(curveRow(x), 416) << x;
    EXPECT_EQ(curveRow(210), 16);
    for (int x = 200; x < 207; x++)
        EXPECT_GE(curveRow(x), 415) << x;
    for (int x = 207; x <= 213; x++) {
        if (x != 210) {
            EXPECT_LT(curveRow(x), 406) << x;
        }
    }
    for (int x = 214; x <= 230; x++)
        EXPECT_GT(curveRow(x), 16) << x;
    EXPECT_TRUE(dst.guardsIntact());
}

TEST_F(SpectrumLpf, ThreeSpectraSideBySideFor352Harmonics)
{
    TestBitmap src(720, 576), dst(720, 576);
    greyTone(src, 100, 40.0, 30);
    ASSERT_EQ(runLpf(src, dst, 352), 0);
    // Row 100, off the grid lines: bars only at the luma interference (30),
    // the V mean (352) and the U mean (528).
    std::vector<int> bars;
    for (int x = 0; x < 720; x++)
        if (dst.at(x, 100) == GREY || dst.at(x, 100) == WHITE)
            bars.push_back(x);
    EXPECT_EQ(bars, (std::vector<int>{30, 352, 528}));
    // Markers of the small harmonics stand on row 16 where no grid covers
    // them: the V plot's k = 8..175 at 360..527, the U plot's 528..703.
    for (int x = 360; x < 704; x++)
        EXPECT_EQ(dst.at(x, 16), x == 528 ? BLACK : WHITE) << x;
    EXPECT_EQ(dst.at(704, 16), BLACK);
}

TEST_F(SpectrumLpf, ZeroMagnitudesSitOnTheBaseRow)
{
    // Black: every luma magnitude is 0 (v is minus infinity), so no luma bar
    // anywhere and every luma marker on row 16; the colour differences keep
    // their mean of 128 at harmonic 0.
    TestBitmap src(720, 32), dst(720, 577);
    ASSERT_EQ(runLpf(src, dst, 720), 0);
    for (int x = 0; x < 720; x++) {
        const bool gridColumn = x % 20 == 0 && x <= 340;
        const uint32_t want = x == 352 || x == 528 ? GREY : gridColumn ? RED : BLACK;
        EXPECT_EQ(dst.at(x, 17), want) << x;
        EXPECT_EQ(dst.at(x, 16), x < 360 ? RED : WHITE) << x;
    }
    EXPECT_EQ(markerRow(dst, 352), 488);
    EXPECT_EQ(markerRow(dst, 528), 488);
}

TEST_F(SpectrumLpf, OddHarmonicCountsHalveDownward)
{
    TestBitmap src(720, 64);  // every row alike: the same spectrum as 576 rows
    greyTone(src, 100, 40.0, 30);
    // N = 355 and 354 both show 177 colour-difference harmonics: U ends at
    // column 704. N = 356 shows 178.
    for (int n : {354, 355, 356}) {
        TestBitmap dst(720, 576);
        ASSERT_EQ(runLpf(src, dst, n), 0);
        EXPECT_EQ(dst.at(704, 16), WHITE) << n;
        EXPECT_EQ(dst.at(705, 16), n == 356 ? WHITE : BLACK) << n;
        // Column 528 row 16: the V plot's last marker (k = 176), which the U
        // plot's harmonic 0 does not cover.
        EXPECT_EQ(dst.at(528, 16), WHITE) << n;
    }
}

TEST_F(SpectrumLpf, CurveIsDrawnOverTheSecondGraticule)
{
    // Gain 1.0 lies on row 416, a grid row: the curve's points stay green,
    // while the grid covers the spectra's bars.
    TestBitmap src(720, 576), dst(720, 576);
    greyTone(src, 100, 40.0, 30);
    ASSERT_EQ(runLpf(src, dst, 40), 0);
    for (int x = 0; x < 40; x++)
        EXPECT_EQ(dst.at(x, 416), GREEN) << x;
    for (int x = 40; x < 360; x++)
        EXPECT_EQ(dst.at(x, 416), RED) << x;
    EXPECT_EQ(dst.at(30, 96), RED) << "the grid goes over the bar";
    EXPECT_EQ(dst.at(30, 97), GREY);
}

TEST_F(SpectrumLpf, BrightFramesDoNotOverflowThePower)
{
    // White: the luma mean 256 x 255 = 65280 squares beyond 32 bits.
    // v = 160 log10(65280) - 250 = 520.4: marker on row 536, above the grid.
    TestBitmap src(720, 576), dst(720, 576);
    src.fill(0xFFFFFF);
    ASSERT_EQ(runLpf(src, dst, 100), 0);
    EXPECT_EQ(markerRow(dst, 0), 536);
    for (int y = 520; y < 536; y++)
        EXPECT_EQ(dst.at(0, y), GREY) << y;
    for (int x = 1; x < 57; x++)
        EXPECT_EQ(dst.at(x, 416), GREEN) << x;
}

TEST_F(SpectrumLpf, AveragesOverTheRowsThatExist)
{
    // The same rows, 100 or 576 of them, give the same root mean square; only
    // rows 0..575 are measured.
    TestBitmap tone(720, 576), shortTone(720, 100), tall(720, 700);
    greyTone(tone, 100, 40.0, 30);
    greyTone(shortTone, 100, 40.0, 30);
    greyTone(tall, 100, 40.0, 30);
    for (int y = 576; y < 700; y++)
        for (int x = 0; x < 720; x++)
            tall.at(x, y) = (uint32_t)(x * 2654435761u + y);
    TestBitmap a(720, 576), b(720, 100), c(720, 700);
    ASSERT_EQ(runLpf(tone, a, 352), 0);
    ASSERT_EQ(runLpf(shortTone, b, 352), 0);
    ASSERT_EQ(runLpf(tall, c, 352), 0);
    EXPECT_GE(markerRow(a, 30), 405);
    EXPECT_LE(markerRow(a, 30), 408);
    EXPECT_EQ(markerRow(b, 30), -1) << "the marker lies above the short frame";
    for (int y = 0; y < 100; y++)
        ASSERT_EQ(memcmp(a.row(y), b.row(y), 720 * 4), 0) << "row " << y;
    for (int y = 0; y < 576; y++)
        ASSERT_EQ(memcmp(a.row(y), c.row(y), 720 * 4), 0) << "row " << y;
}

TEST_F(SpectrumLpf, SameResultAtEveryInstructionSet)
{
    TestBitmap src(720, 96);
    src.randomise(99);
    TestBitmap ref(720, 577);
    dspSetCpuCap(CPU_SCALAR);
    ASSERT_EQ(runLpf(src, ref, 400), 0);
    for (CpuLevel level : availableLevels()) {
        dspSetCpuCap(level);
        TestBitmap dst(720, 577);
        ASSERT_EQ(runLpf(src, dst, 400), 0);
        EXPECT_TRUE(dst.sameBytes(ref)) << cpuLevelName(level);
    }
    dspSetCpuCap(cpuCapFromEnv());
}

TEST_F(SpectrumLpf, HarmonicCountClampedToTheWidth)
{
    TablesScope narrow(300, ANGLE_RECIPROCAL);
    TestBitmap src(300, 577);
    src.randomise(1);
    TestBitmap clamped(300, 577), exact(300, 577);
    ASSERT_EQ(runLpf(src, clamped, 5000), 0);
    ASSERT_EQ(runLpf(src, exact, 300), 0);
    EXPECT_TRUE(clamped.sameBytes(exact));
    EXPECT_TRUE(clamped.guardsIntact());
}

TEST_F(SpectrumLpf, PaddedRowsShowTheSamePicture)
{
    for (int w : {101, 719}) {
        TablesScope tables(w, ANGLE_RECIPROCAL);
        TestBitmap src(w, 580), srcPadded(w, 580, 4 * w + 60);
        src.randomise(w);
        srcPadded.randomise(w);
        srcPadded.fillPadding(0xEE);
        TestBitmap dst(w, 580), dstPadded(w, 580, 4 * w + 60);
        dstPadded.fillPadding(0x99);
        ASSERT_EQ(runLpf(src, dst, 120), 0);
        ASSERT_EQ(runLpf(srcPadded, dstPadded, 120), 0);
        EXPECT_TRUE(dst.samePicture(dstPadded)) << "w=" << w;
        EXPECT_TRUE(dstPadded.guardsIntact());
        // The clear covers the whole bitmap, padding included.
        for (int y = 0; y < 580; y++)
            for (int k = 4 * w; k < 4 * w + 60; k++)
                ASSERT_EQ(dstPadded.bytes()[(ptrdiff_t)y * dstPadded.pitch() + k], 0) << y;
    }
}

TEST_F(SpectrumLpf, FramesSmallerThanTheLayout)
{
    const int sizes[][2] = {{64, 48}, {320, 240}, {720, 480}, {720, 16}, {4, 1},
                            {3, 3},   {1, 1},     {0, 0},     {5, 0},    {0, 5}};
    for (const auto &s : sizes)
        for (int n : {0, 1, 10, 720}) {
            TablesScope tables(s[0], ANGLE_RECIPROCAL);
            TestBitmap src(s[0], s[1]), dst(s[0], s[1], 4 * s[0] + 8);
            src.randomise(3);
            dst.randomise(4);
            ASSERT_EQ(runLpf(src, dst, n), 0) << s[0] << "x" << s[1];
            EXPECT_TRUE(dst.guardsIntact()) << s[0] << "x" << s[1] << " N=" << n;
            EXPECT_TRUE(src.guardsIntact());
        }
}

TEST_F(SpectrumLpf, SmallFramesShowTheBottomOfTheFullPicture)
{
    // What fits of the layout is drawn as it would be in a full-size frame.
    TestBitmap src(720, 576), full(720, 577);
    greyTone(src, 100, 40.0, 30);
    ASSERT_EQ(runLpf(src, full, 352), 0);
    TestBitmap small(720, 480);
    ASSERT_EQ(runLpf(src, small, 352), 0);
    for (int y = 0; y < 480; y++)
        ASSERT_EQ(memcmp(small.row(y), full.row(y), 720 * 4), 0) << "row " << y;
}

void *failNth(size_t count, size_t size);
int allocationsLeft = 0;
void *failNth(size_t count, size_t size)
{
    return allocationsLeft-- > 0 ? calloc(count, size) : nullptr;
}

TEST_F(SpectrumLpf, MissingWorkingMemoryLeavesTheDestinationUntouched)
{
    TestBitmap src(720, 576);
    src.randomise(8);
    for (int granted = 0; granted < 4; granted++) {
        TestBitmap dst(720, 576, 720 * 4 + 16);
        dst.randomise(9);
        TestBitmap before(dst);
        allocationsLeft = granted;
        void *(*saved)(size_t, size_t) = displayCalloc;
        displayCalloc = failNth;
        const int status = runLpf(src, dst, 100);
        displayCalloc = saved;
        EXPECT_EQ(status, -1) << granted;
        EXPECT_TRUE(dst.sameBytes(before)) << granted;
    }
}

TEST_F(SpectrumLpf, TablesOfAnotherWidthAreRefused)
{
    TestBitmap src(360, 576), dst(360, 576);
    src.randomise(2);
    dst.randomise(3);
    TestBitmap before(dst);
    EXPECT_EQ(runLpf(src, dst, 10), -1);
    EXPECT_TRUE(dst.sameBytes(before));
}

}  // namespace
