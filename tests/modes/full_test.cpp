// Full processing, both forms: the worked resynthesis, the rows each form
// rebuilds, the curve's effect, the timing line, the limits of the stores and
// the interplay with the earlier stages.
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "modes/modes.h"
#include "modes/weighted_power.h"
#include "tests/support/frames.h"

namespace {

using namespace zelt_test;

const double kPi = 3.14159265358979323846;

typedef void (*StageFn)(FrameView src, FrameView dst, int harmonics);

// A private timing log for the test's duration.
struct TimingLog {
    std::string path;
    TimingLog()
    {
        char name[] = "/tmp/zelt_timing_XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0)
            close(fd);
        path = name;
        setenv("ZELT_TIMING_LOG", path.c_str(), 1);
    }
    ~TimingLog()
    {
        unsetenv("ZELT_TIMING_LOG");
        remove(path.c_str());
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }
};

struct FullTest : ::testing::Test {
    TimingLog log;
};

// The chain's copy, then the stage with N harmonics.
void runFull(StageFn stage, TestFrame &f, int harmonics)
{
    f.chainCopy();
    stage(f.src.view(), f.dst.view(), harmonics);
}

void workedRows(TestFrame &f)
{
    for (int y = 0; y < f.h(); y++)
        for (int x = 0; x < 8; x++)
            f.s(x, y) = rgb(100, 20 * (x + 1), 10 * (x + 1), 0xee);
}

// Rows of `level` + 40 cos(2 pi k j / w) in every channel, for each k given.
void interference(TestFrame &f, int level, std::vector<int> ks)
{
    for (int y = 0; y < f.h(); y++)
        for (int x = 0; x < f.w(); x++) {
            double v = level;
            for (int k : ks)
                v += 40.0 * cos(2.0 * kPi * k * x / f.w());
            f.s(x, y) = grey((int)lround(v < 0 ? 0 : v > 255 ? 255 : v));
        }
}

// Amplitude of harmonic k in the red bytes of destination row y, in grey levels.
double amplitude(TestFrame &f, int y, int k)
{
    HarmonicCoeffs rec;
    correlateRow(&f.d(0, y), f.w(), &rec, k);
    return hypot(rec.red.sinePart, rec.red.cosinePart) / 256.0;
}

}  // namespace

TEST_F(FullTest, WorkedResynthesisBothForms)
{
    TablesScope tables(8);
    struct Case {
        int count;
        int blue[8], green[8], red[8];
    } cases[] = {
        {1,
         {45, 45, 45, 45, 45, 45, 45, 45},
         {90, 90, 90, 90, 90, 90, 90, 90},
         {100, 100, 100, 100, 100, 100, 100, 100}},
        {2,
         {35, 20, 20, 35, 54, 69, 69, 54},
         {70, 41, 41, 69, 109, 138, 138, 110},
         {100, 100, 100, 99, 99, 99, 100, 100}},
        {4,
         {15, 15, 35, 34, 54, 55, 74, 74},
         {30, 30, 70, 69, 109, 110, 149, 149},
         {100, 100, 99, 100, 99, 100, 99, 100}},
    };
    for (StageFn stage : {zelt::FilterFull, zelt_lpf::FilterFull}) {
        for (const Case &c : cases) {
            TestFrame f(8, 4);
            workedRows(f);
            runFull(stage, f, c.count);
            const int rebuilt = stage == zelt::FilterFull ? 4 : 2;
            for (int y = 0; y < 4; y++)
                for (int x = 0; x < 8; x++) {
                    const uint32_t expected = y < rebuilt ? rgb(c.red[x], c.green[x], c.blue[x]) : f.s(x, y);
                    EXPECT_EQ(f.d(x, y), expected) << c.count << " row " << y << " pixel " << x;
                }
        }
    }
}

TEST_F(FullTest, UnitGainsReproducePlainResynthesis)
{
    // With N <= 60 every gain is 1.0: rows 0..h-3 equal the plain form's.
    TablesScope tables(64);
    TestFrame plain(64, 12), weighted(64, 12);
    plain.src.randomise(17);
    weighted.src.randomise(17);
    runFull(zelt::FilterFull, plain, 40);
    runFull(zelt_lpf::FilterFull, weighted, 40);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 64; x++)
            EXPECT_EQ(weighted.d(x, y), y < 10 ? plain.d(x, y) : weighted.s(x, y)) << y << " " << x;
}

TEST_F(FullTest, RowsEachFormRebuilds)
{
    TablesScope tables(16);
    for (int h : {1, 2, 3}) {
        for (StageFn stage : {zelt::FilterFull, zelt_lpf::FilterFull}) {
            TestFrame f(16, h);
            f.src.randomise(2);
            runFull(stage, f, 0);  // rebuilt rows come out black
            for (int y = 0; y < h; y++) {
                const bool rebuilt = stage == zelt::FilterFull || y < h - 2;
                for (int x = 0; x < 16; x++)
                    ASSERT_EQ(f.d(x, y), rebuilt ? 0u : f.s(x, y)) << h << " " << y;
            }
        }
    }
}

TEST_F(FullTest, NoHarmonicsGiveBlackRows)
{
    TablesScope tables(16);
    for (int n : {0, -3}) {
        TestFrame f(16, 5);
        f.src.randomise(8);
        runFull(zelt_lpf::FilterFull, f, n);
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 16; x++)
                EXPECT_EQ(f.d(x, y), y < 3 ? 0u : f.s(x, y));
    }
}

TEST_F(FullTest, CurveRemovesAnIsolatedHarmonicAndKeepsTheMean)
{
    TablesScope tables(720);
    TestFrame f(720, 8);
    interference(f, 128, {200});
    runFull(zelt_lpf::FilterFull, f, 300);
    for (int y = 0; y < 6; y++) {
        EXPECT_LT(amplitude(f, y, 200), 1.0) << y;  // 40 grey levels before
        for (int x = 0; x < 720; x++)
            ASSERT_NEAR(red(f.d(x, y)), 128, 2) << y << " " << x;
    }
}

TEST_F(FullTest, HarmonicsAboveTheCurveAreKept)
{
    // N above 512: the curve still decides harmonic 200, while 550 lies above
    // its 512 gains and passes at gain 1.0. Rows wider than 2 N keep every
    // analysed harmonic free of aliases.
    TablesScope tables(1280);
    TestFrame f(1280, 5);
    interference(f, 128, {200, 550});
    runFull(zelt_lpf::FilterFull, f, 600);
    for (int y = 0; y < 3; y++) {
        EXPECT_LT(amplitude(f, y, 200), 1.0);
        EXPECT_NEAR(amplitude(f, y, 550), 40.0, 1.0);
    }
}

TEST_F(FullTest, HarmonicsClampedToTheTableWidth)
{
    TablesScope tables(64);
    for (StageFn stage : {zelt::FilterFull, zelt_lpf::FilterFull}) {
        TestFrame clamped(64, 6), exact(64, 6);
        clamped.src.randomise(4);
        exact.src.randomise(4);
        runFull(stage, clamped, 100);
        runFull(stage, exact, 64);
        EXPECT_TRUE(clamped.dst.sameBytes(exact.dst));
    }
}

TEST_F(FullTest, TallFrames)
{
    // Past the 1024 rows of a fixed store, every row still comes out right.
    TablesScope tables(64);
    TestFrame plain(64, 2000), weighted(64, 2000);
    plain.src.randomise(12);
    weighted.src.randomise(12);
    runFull(zelt::FilterFull, plain, 10);
    runFull(zelt_lpf::FilterFull, weighted, 10);
    for (int y = 0; y < 1998; y++)
        for (int x = 0; x < 64; x++)
            ASSERT_EQ(weighted.d(x, y), plain.d(x, y)) << y;
}

TEST(WeightedPower, SumsBeyondThe32BitRange)
{
    // A bright row's mean squares to 65,280^2 = 4,261,478,400.
    const HarmonicCoeffs green{{0, 0}, {0, 65280}, {0, 0}};
    int64_t power = 0;
    zelt_lpf::accumulateWeightedPower(&green, 1, &power);
    EXPECT_EQ(power, 2497226342);  // trunc(0.586 x 4,261,478,400)
    zelt_lpf::accumulateWeightedPower(&green, 1, &power);
    EXPECT_EQ(power, 4994452684);  // trunc(2,497,226,342.4 + 2,497,226,342)
    const HarmonicCoeffs mixed[2] = {{{3, 4}, {0, 0}, {0, 0}}, {{0, 0}, {0, 0}, {6, 8}}};
    int64_t two[2] = {0, 0};
    zelt_lpf::accumulateWeightedPower(mixed, 2, two);
    EXPECT_EQ(two[0], 7);   // trunc(0.298 x 25)
    EXPECT_EQ(two[1], 11);  // trunc(0.116 x 100)
    EXPECT_EQ(zelt_lpf::powerMagnitude(4261478400), 65280);
    EXPECT_EQ(zelt_lpf::powerMagnitude(4261478399), 65279);
}

TEST_F(FullTest, BrightFramesBehaveLikeDimOnes)
{
    // Harmonic 60's neighbourhood holds the mean (harmonic 0): its power must
    // not wrap for a bright frame.
    TablesScope tables(720);
    for (int level : {100, 200}) {
        TestFrame f(720, 40);
        interference(f, level, {60});
        runFull(zelt_lpf::FilterFull, f, 120);
        for (int y = 0; y < 38; y++) {
            EXPECT_LT(amplitude(f, y, 60), 2.0) << level;
            for (int x = 0; x < 720; x++)
                ASSERT_NEAR(red(f.d(x, y)), level, 3) << level << " " << y << " " << x;
        }
    }
}

TEST_F(FullTest, MissingOrForeignTablesLeaveTheDestination)
{
    for (StageFn stage : {zelt::FilterFull, zelt_lpf::FilterFull}) {
        TestFrame none(16, 5);
        none.src.randomise(1);
        runFull(stage, none, 10);
        EXPECT_TRUE(none.dst.sameBytes(none.src));
        TablesScope tables(32);
        TestFrame foreign(16, 5);
        foreign.src.randomise(1);
        runFull(stage, foreign, 10);
        EXPECT_TRUE(foreign.dst.sameBytes(foreign.src));
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(FullTest, NarrowFramesLeaveTheDestination)
{
    for (int w : {1, 2, 3}) {
        TablesScope tables(w);
        for (StageFn stage : {zelt::FilterFull, zelt_lpf::FilterFull}) {
            TestFrame f(w, 4);
            f.src.randomise(9);
            runFull(stage, f, 1);
            EXPECT_TRUE(f.dst.sameBytes(f.src)) << w;
        }
    }
}

TEST_F(FullTest, TimingLineOnePerFrame)
{
    {
        TablesScope tables(720, ANGLE_DIVIDE);
        TestFrame f(720, 576);
        f.src.randomise(6);
        runFull(zelt::FilterFull, f, 10);
        runFull(zelt::FilterFull, f, 10);
    }
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    const std::regex format(R"(FilterFull \(MMX\) - 0 : ([0-9]+) clocks \(720 x 576 10 Harms\))");
    for (const std::string &line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, format)) << line;
        EXPECT_GT(std::stoul(m[1].str()), 0ul);
    }
    // The line names the harmonics actually used.
    {
        TablesScope narrow(16, ANGLE_DIVIDE);
        TestFrame small(16, 3);
        runFull(zelt::FilterFull, small, 0);
        runFull(zelt::FilterFull, small, 40);
    }
    const auto more = log.lines();
    ASSERT_EQ(more.size(), 4u);
    EXPECT_NE(more[2].find("(16 x 3 0 Harms)"), std::string::npos) << more[2];
    EXPECT_NE(more[3].find("(16 x 3 16 Harms)"), std::string::npos) << more[3];
}

TEST_F(FullTest, UnopenableLogStillProcessesTheFrame)
{
    setenv("ZELT_TIMING_LOG", "/nonexistent-dir/timing.out", 1);
    TablesScope tables(16);
    TestFrame f(16, 3);
    f.src.randomise(3);
    runFull(zelt::FilterFull, f, 0);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 16; x++)
            EXPECT_EQ(f.d(x, y), 0u);
}

TEST_F(FullTest, AfterTheNotchItReadsTheTaperedSource)
{
    TablesScope tables(64);
    TestFrame chain(64, 6), alone(64, 6);
    chain.src.randomise(31);
    alone.src.randomise(31);
    for (int y = 0; y < 6; y++) {  // the taper, by hand
        uint32_t *row = &alone.s(0, y);
        row[0] &= 0xff000000u;
        row[63] &= 0xff000000u;
        row[1] = (row[1] & 0xff000000u) | (row[1] >> 1 & 0x007f7f7fu);
        row[62] = (row[62] & 0xff000000u) | (row[62] >> 1 & 0x007f7f7fu);
    }
    for (StageFn stage : {zelt::FilterFull, zelt_lpf::FilterFull}) {
        chain.chainCopy();
        notchFilter(chain.src.view(), chain.dst.view(), 3, 6);
        const TestBitmap afterNotch = chain.dst;
        stage(chain.src.view(), chain.dst.view(), 20);
        runFull(stage, alone, 20);
        const int rebuilt = stage == zelt::FilterFull ? 6 : 4;
        for (int y = 0; y < 6; y++)
            for (int x = 0; x < 64; x++)
                EXPECT_EQ(chain.d(x, y), y < rebuilt ? alone.d(x, y) : afterNotch.at(x, y)) << y << " " << x;
        // Rewind the source for the next form.
        chain.src.randomise(31);
    }
}

TEST_F(FullTest, AfterTheDcAverageOnlyTheLastTwoRowsShowIt)
{
    TablesScope tables(32);
    TestFrame chain(32, 7), alone(32, 7), dcOnly(32, 7);
    const int levels[7] = {50, 90, 70, 120, 60, 150, 80};
    for (TestFrame *f : {&chain, &alone, &dcOnly})
        for (int y = 0; y < 7; y++)
            for (int x = 0; x < 32; x++)
                f->s(x, y) = grey(levels[y] + (x % 5));
    chain.chainCopy();
    dcAverageFilter(chain.src.view(), chain.dst.view(), false);
    zelt_lpf::FilterFull(chain.src.view(), chain.dst.view(), 12);
    runFull(zelt_lpf::FilterFull, alone, 12);
    dcOnly.chainCopy();
    dcAverageFilter(dcOnly.src.view(), dcOnly.dst.view(), false);
    for (int y = 0; y < 7; y++)
        for (int x = 0; x < 32; x++)
            EXPECT_EQ(chain.d(x, y), y < 5 ? alone.d(x, y) : dcOnly.d(x, y)) << y << " " << x;
    EXPECT_NE(dcOnly.d(4, 5), dcOnly.s(4, 5));  // the DC shift did reach row h - 2
}
