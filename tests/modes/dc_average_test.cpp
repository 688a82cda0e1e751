// DC average: the three-row mean, its rounding and byte rules, the edges of
// the frame and the temporal history.
#include <gtest/gtest.h>

#include <vector>

#include "modes/modes.h"
#include "tests/support/frames.h"

namespace {

using namespace zelt_test;

struct DcAverageTest : ::testing::Test {
    DcAverageTest() { dcHistoryReset(); }
    ~DcAverageTest() override { dcHistoryReset(); }
};

// Rows of flat grey at the given levels.
void greyRows(TestFrame &f, const std::vector<int> &levels)
{
    for (int y = 0; y < f.h(); y++)
        for (int x = 0; x < f.w(); x++)
            f.s(x, y) = grey(levels[(size_t)y], 0x33);
}

void runDc(TestFrame &f, bool temporal)
{
    f.chainCopy();
    dcAverageFilter(f.src.view(), f.dst.view(), temporal);
}

}  // namespace

TEST_F(DcAverageTest, WorkedExample)
{
    TestFrame f(8, 5);
    greyRows(f, {100, 100, 130, 100, 100});
    runDc(f, false);
    const int expected[5] = {100, 110, 110, 110, 100};
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 8; x++)
            EXPECT_EQ(f.d(x, y), grey(expected[y], 0x33)) << y;
}

TEST_F(DcAverageTest, ByteRulesAtTheLimits)
{
    TestFrame f(4, 5);
    greyRows(f, {100, 100, 130, 100, 100});  // deltas +10, -20, +10
    f.chainCopy();
    f.d(0, 1) = grey(240, 1);
    f.d(1, 1) = grey(250, 2);
    f.d(2, 1) = grey(245, 3);
    f.d(3, 1) = rgb(246, 0, 255, 4);
    f.d(0, 2) = grey(5, 5);
    f.d(1, 2) = grey(20, 6);
    dcAverageFilter(f.src.view(), f.dst.view(), false);
    EXPECT_EQ(f.d(0, 1), grey(250, 1));
    EXPECT_EQ(f.d(1, 1), grey(250, 2));  // 260 would exceed 255: keeps its value
    EXPECT_EQ(f.d(2, 1), grey(255, 3));
    EXPECT_EQ(f.d(3, 1), rgb(246, 10, 255, 4));
    EXPECT_EQ(f.d(0, 2), grey(0, 5));  // below 0 gives 0
    EXPECT_EQ(f.d(1, 2), grey(0, 6));
}

TEST_F(DcAverageTest, MeansRoundDown)
{
    // 256 pixels: 100 of 101 give D = 25,700, 50 of 101 give 25,650, none 25,600.
    TestFrame f(256, 3);
    for (int x = 0; x < 256; x++) {
        f.s(x, 0) = grey(x < 100 ? 101 : 100);
        f.s(x, 1) = grey(x < 50 ? 101 : 100);
        f.s(x, 2) = grey(100);
    }
    runDc(f, false);
    // A = 76,950 / 768 = 100, own mean 25,650 >> 8 = 100: delta 0.
    EXPECT_TRUE(f.dst.sameBytes(f.src));
}

TEST_F(DcAverageTest, EqualMeansChangeNothing)
{
    // Every row mean 100.5 in red, 20.25 in green, 7 in blue, from different rows.
    TestFrame f(4, 6);
    for (int y = 0; y < 6; y++) {
        const int shift = y % 2;
        f.s(0, y) = rgb(100 + shift, 20, 7 + shift);
        f.s(1, y) = rgb(101 - shift, 21, 7 - shift);
        f.s(2, y) = rgb(100 + shift, 20, 7 + shift);
        f.s(3, y) = rgb(101 - shift, 20, 7 - shift);
    }
    runDc(f, false);
    EXPECT_TRUE(f.dst.sameBytes(f.src));
}

TEST_F(DcAverageTest, FirstLastAndShortFramesUntouched)
{
    {
        TestFrame f(6, 4);
        greyRows(f, {10, 200, 30, 250});
        runDc(f, false);
        for (int x = 0; x < 6; x++) {
            EXPECT_EQ(f.d(x, 0), grey(10, 0x33));
            EXPECT_EQ(f.d(x, 3), grey(250, 0x33));
        }
    }
    for (int h : {0, 1, 2}) {
        TestFrame f(6, h);
        greyRows(f, {10, 200});
        runDc(f, true);
        EXPECT_TRUE(f.dst.sameBytes(f.src)) << h;
    }
}

TEST_F(DcAverageTest, TemporalAveragesWithThePreviousFrame)
{
    TestFrame first(8, 4), second(8, 4);
    greyRows(first, {100, 100, 100, 100});
    greyRows(second, {130, 130, 130, 130});
    runDc(first, true);
    EXPECT_TRUE(first.dst.sameBytes(first.src));
    runDc(second, true);
    // (3 x 33,280 + 3 x 25,600) / 1536 = 115: inner rows move by -15.
    for (int x = 0; x < 8; x++) {
        EXPECT_EQ(second.d(x, 0), grey(130, 0x33));
        EXPECT_EQ(second.d(x, 1), grey(115, 0x33));
        EXPECT_EQ(second.d(x, 2), grey(115, 0x33));
        EXPECT_EQ(second.d(x, 3), grey(130, 0x33));
    }
}

TEST_F(DcAverageTest, TemporalStillPictureEqualsThreeRowAverage)
{
    TestFrame plain(24, 9), still(24, 9);
    plain.src.randomise(3);
    still.src.randomise(3);
    runDc(plain, false);
    runDc(still, true);  // the first temporal frame: history from its own rows
    EXPECT_TRUE(still.dst.sameBytes(plain.dst));
    runDc(still, true);  // the same frame again
    EXPECT_TRUE(still.dst.sameBytes(plain.dst));
}

TEST_F(DcAverageTest, TemporalHistoryFollowsAHeightChange)
{
    TestFrame shortFrame(8, 5), tall(8, 9), plainTall(8, 9), small(8, 4), plainSmall(8, 4);
    greyRows(shortFrame, {100, 100, 100, 100, 100});
    greyRows(tall, {130, 90, 130, 90, 130, 90, 130, 90, 130});
    greyRows(plainTall, {130, 90, 130, 90, 130, 90, 130, 90, 130});
    greyRows(small, {10, 60, 20, 70});
    greyRows(plainSmall, {10, 60, 20, 70});
    runDc(plainTall, false);
    runDc(plainSmall, false);
    runDc(shortFrame, true);
    runDc(tall, true);  // taller: a new history, initialised from this frame
    EXPECT_TRUE(tall.dst.sameBytes(plainTall.dst));
    runDc(small, true);  // shorter: the same
    EXPECT_TRUE(small.dst.sameBytes(plainSmall.dst));
}

TEST_F(DcAverageTest, HistorySurvivesFramesWithoutTheOption)
{
    TestFrame a(8, 3), b(8, 3), c(8, 3);
    greyRows(a, {100, 100, 100});
    greyRows(b, {200, 200, 200});
    greyRows(c, {130, 130, 130});
    runDc(a, true);
    runDc(b, false);  // not recorded
    runDc(c, true);   // averages with frame a: 115
    EXPECT_EQ(c.d(3, 1), grey(115, 0x33));
}
