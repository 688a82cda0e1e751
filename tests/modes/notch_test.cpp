// Notch filter: taper, band measurement on the tapered source, subtraction
// into the destination with clamping, and the band's clipping to the tables.
#include <gtest/gtest.h>
#include <limits.h>
#include <math.h>

#include <algorithm>

#include "engine/engine.h"
#include "modes/modes.h"
#include "tests/support/frames.h"

namespace {

using namespace zelt_test;

const double kPi = 3.14159265358979323846;

// 128 + 40 cos(2 pi k j / w), rounded to the nearest integer, in all three
// colour bytes.
void cosineRows(TestFrame &f, int k)
{
    for (int y = 0; y < f.h(); y++)
        for (int x = 0; x < f.w(); x++)
            f.s(x, y) = grey((int)lround(128.0 + 40.0 * cos(2.0 * kPi * k * x / f.w())));
}

int runNotch(TestFrame &f, int minHarmonic, int maxHarmonic)
{
    f.chainCopy();
    return notchFilter(f.src.view(), f.dst.view(), minHarmonic, maxHarmonic);
}

uint32_t tapered(uint32_t p, int halvings)
{
    for (int i = 0; i < halvings; i++)
        p = (p & 0xff000000u) | (p >> 1 & 0x007f7f7fu);
    return p;
}

}  // namespace

TEST(NotchTest, HarmonicEightMeasuredOnTaperedRowAndRemoved)
{
    TablesScope tables(720);
    TestFrame f(720, 3);
    cosineRows(f, 8);
    EXPECT_EQ(runNotch(f, 8, 9), 0);
    for (int y = 0; y < f.h(); y++) {
        HarmonicCoeffs rec;
        correlateRow(&f.s(0, y), f.w(), &rec, 8);
        for (const ChannelCoeff &c : {rec.red, rec.green, rec.blue}) {
            EXPECT_EQ(c.cosinePart, 9887);
            EXPECT_EQ(c.sinePart, 12);
        }
        for (int x = 0; x < f.w(); x++) {
            for (int v : {red(f.d(x, y)), green(f.d(x, y)), blue(f.d(x, y))}) {
                EXPECT_GE(v, 126) << x;
                EXPECT_LE(v, 129) << x;
            }
        }
    }
}

TEST(NotchTest, NarrowRowsKeepMoreOfTheHarmonic)
{
    TablesScope tables(64);
    TestFrame f(64, 2);
    cosineRows(f, 4);
    runNotch(f, 4, 5);
    for (int y = 0; y < f.h(); y++) {
        int lo = 255, hi = 0;
        for (int x = 0; x < f.w(); x++) {
            lo = std::min(lo, red(f.d(x, y)));
            hi = std::max(hi, red(f.d(x, y)));
            EXPECT_EQ(red(f.d(x, y)), green(f.d(x, y)));
            EXPECT_EQ(red(f.d(x, y)), blue(f.d(x, y)));
        }
        EXPECT_EQ(lo, 113);
        EXPECT_EQ(hi, 142);
    }
}

TEST(NotchTest, MeanRemovalLeavesTheTaperResidue)
{
    TablesScope tables(720);
    for (int level : {100, 239, 255}) {
        TestFrame f(720, 2);
        for (int y = 0; y < f.h(); y++)
            for (int x = 0; x < f.w(); x++)
                f.s(x, y) = grey(level, 0x5a);
        runNotch(f, 0, 1);
        const int expected = level == 100 ? 0 : 1;
        // End pixels included: the destination starts from the untapered bytes.
        for (int y = 0; y < f.h(); y++)
            for (int x = 0; x < f.w(); x++)
                ASSERT_EQ(f.d(x, y), grey(expected, 0x5a)) << level << " " << x;
    }
}

TEST(NotchTest, TaperOfTheSourceRows)
{
    TablesScope tables(16);
    TestFrame f(16, 3);
    f.src.randomise(7);
    TestFrame original(16, 3);
    original.src.randomise(7);
    runNotch(f, 1, 1);  // empty band: copy and taper only
    for (int y = 0; y < f.h(); y++) {
        for (int x = 0; x < f.w(); x++) {
            const uint32_t o = original.s(x, y);
            const uint32_t expected = x == 0 || x == 15 ? o & 0xff000000u : x == 1 || x == 14 ? tapered(o, 1) : o;
            EXPECT_EQ(f.s(x, y), expected) << x;
            EXPECT_EQ(f.d(x, y), o) << x;  // an exact copy of the untapered source
        }
    }
}

TEST(NotchTest, TinyRowsTaperWhatExists)
{
    TablesScope tables(3);
    {
        TestFrame f(3, 2);
        f.s(0, 0) = rgb(200, 100, 50, 9);
        f.s(1, 0) = rgb(201, 103, 255, 8);
        f.s(2, 0) = rgb(7, 7, 7, 7);
        runNotch(f, 1, 1);
        EXPECT_EQ(f.s(0, 0), rgb(0, 0, 0, 9));
        EXPECT_EQ(f.s(1, 0), rgb(50, 25, 63, 8));  // halved twice
        EXPECT_EQ(f.s(2, 0), rgb(0, 0, 0, 7));
    }
    {
        TestFrame f(2, 2);
        f.s(0, 1) = rgb(200, 100, 50, 1);
        f.s(1, 1) = rgb(255, 255, 255, 2);
        runNotch(f, 1, 1);
        EXPECT_EQ(f.s(0, 1), rgb(0, 0, 0, 1));
        EXPECT_EQ(f.s(1, 1), rgb(0, 0, 0, 2));
    }
    {
        // One pixel: nothing beyond it is touched (the row is followed by the next).
        TestFrame f(1, 2);
        f.s(0, 0) = rgb(9, 9, 9, 3);
        f.s(0, 1) = rgb(8, 8, 8, 4);
        runNotch(f, 0, 5);
        EXPECT_EQ(f.s(0, 0), rgb(0, 0, 0, 3));
        EXPECT_EQ(f.s(0, 1), rgb(0, 0, 0, 4));
    }
}

TEST(NotchTest, ByteThreeFollowsTheSource)
{
    TablesScope tables(40);
    TestFrame f(40, 5);
    f.src.randomise(11);
    TestFrame original(40, 5);
    original.src.randomise(11);
    runNotch(f, 0, 6);
    for (int y = 0; y < f.h(); y++)
        for (int x = 0; x < f.w(); x++) {
            EXPECT_EQ(f.d(x, y) >> 24, original.s(x, y) >> 24);
            EXPECT_EQ(f.s(x, y) >> 24, original.s(x, y) >> 24);
        }
}

TEST(AddComponent, FloorShiftAndClampPerHarmonic)
{
    TablesScope tables(8);  // harmonic 0: sine 0, cosine 256 at every pixel
    uint32_t row[8];
    for (uint32_t &p : row)
        p = rgb(10, 200, 128, 0x77);
    auto dc = [](int red, int green, int blue) { return HarmonicCoeffs{{0, red}, {0, green}, {0, blue}}; };
    // 256 x c >> 16 = floor(c / 256): -1 takes a unit off, 255 adds nothing.
    addComponent(row, 0, 8, dc(-1, 255, -256));
    EXPECT_EQ(row[0], rgb(9, 200, 127, 0x77));
    // Below 0 clamps at this harmonic; the next one starts from the clamped byte.
    addComponent(row, 0, 8, dc(-20 * 256, 100 * 256, 0));
    EXPECT_EQ(row[3], rgb(0, 255, 127, 0x77));
    addComponent(row, 0, 8, dc(15 * 256, -30 * 256, 0));
    for (uint32_t p : row)
        EXPECT_EQ(p, rgb(15, 225, 127, 0x77));
}

TEST(AddComponent, HarmonicOneFollowsTheTableRow)
{
    TablesScope tables(8);
    uint32_t row[8];
    for (uint32_t &p : row)
        p = grey(100);
    // Cosine row 1 for eight samples: 256, 181, 0, -181, -255, -181, 0, 181.
    const int cosine[8] = {256, 181, 0, -181, -255, -181, 0, 181};
    addComponent(row, 1, 8, HarmonicCoeffs{{0, 2560}, {0, 0}, {0, -2560}});
    for (int j = 0; j < 8; j++) {
        EXPECT_EQ(red(row[j]), 100 + (int)floor(2560.0 * cosine[j] / 65536.0)) << j;
        EXPECT_EQ(green(row[j]), 100);
        EXPECT_EQ(blue(row[j]), 100 + (int)floor(-2560.0 * cosine[j] / 65536.0)) << j;
    }
}

TEST(AddComponent, NothingOutsideTheTables)
{
    TablesScope tables(8);
    uint32_t row[16];
    for (uint32_t &p : row)
        p = grey(50);
    const HarmonicCoeffs big{{0, 10000}, {0, 10000}, {0, 10000}};
    addComponent(row, 8, 8, big);   // no table row 8
    addComponent(row, -1, 8, big);  // no table row -1
    addComponent(row, 1, 16, big);  // rows hold 8 entries
    for (uint32_t p : row)
        EXPECT_EQ(p, grey(50));
}

TEST(NotchTest, BandClippedToTheTables)
{
    TablesScope tables(16);
    auto result = [](int lo, int hi, std::vector<uint32_t> *src) {
        TestFrame f(16, 3);
        f.src.randomise(21);
        runNotch(f, lo, hi);
        *src = f.src.picture();
        return f.dst.picture();
    };
    std::vector<uint32_t> s1, s2;
    EXPECT_EQ(result(-5, 3, &s1), result(0, 3, &s2));
    EXPECT_EQ(result(10, 40, &s1), result(10, 16, &s2));
    EXPECT_EQ(result(INT_MIN, INT_MAX, &s1), result(0, 16, &s2));
    EXPECT_EQ(result(16, 20, &s1), result(5, 5, &s2));  // wholly above: copy and taper
    EXPECT_EQ(s1, s2);
    EXPECT_EQ(result(-9, -2, &s1), result(5, 5, &s2));  // wholly below
    EXPECT_NE(result(0, 3, &s1), result(5, 5, &s2));
}

TEST(NotchTest, TablesOfAnotherWidthSkipTheBand)
{
    TablesScope tables(32);
    TestFrame f(16, 3), original(16, 3);
    f.src.randomise(5);
    original.src.randomise(5);
    EXPECT_EQ(runNotch(f, 1, 4), 0);
    for (int y = 0; y < f.h(); y++) {
        for (int x = 0; x < f.w(); x++)
            EXPECT_EQ(f.d(x, y), original.s(x, y));
        EXPECT_EQ(f.s(0, y), original.s(0, y) & 0xff000000u);  // still tapered
    }
}
