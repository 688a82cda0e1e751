// Bars and markers: where a value's bar ends and its marker sits.
#include <gtest/gtest.h>
#include <math.h>

#include "display/plot.h"
#include "tests/support/frames.h"

namespace {

using zelt_test::TestBitmap;

const uint32_t BAR = 0x808080, BACKGROUND = 0x010203;

// Rows of column x holding the bar colour.
std::vector<int> barRows(const TestBitmap &f, int x)
{
    std::vector<int> rows;
    for (int y = 0; y < f.h(); y++)
        if (f.at(x, y) == BAR)
            rows.push_back(y);
    return rows;
}

TEST(PlotBar, FillsRowsAboveTheBaseBelowTheValue)
{
    struct Case {
        double v;
        std::vector<int> rows;
    };
    // Rows 16 + j for 1 <= j < v; nothing unless v > 1.
    const Case cases[] = {{-INFINITY, {}}, {NAN, {}},   {0.5, {}},       {1.0, {}},       {1.0001, {17}},
                          {1.5, {17}},     {2.0, {17}}, {2.5, {17, 18}}, {3.0, {17, 18}}, {5.25, {17, 18, 19, 20, 21}}};
    for (const Case &c : cases) {
        TestBitmap f(4, 40);
        f.fill(BACKGROUND);
        plotBar(f.view(), 2, c.v, BAR);
        EXPECT_EQ(barRows(f, 2), c.rows) << "v=" << c.v;
        EXPECT_TRUE(barRows(f, 1).empty() && barRows(f, 3).empty());
    }
}

TEST(PlotBar, StopsAtTheLastRowAndOutsideColumns)
{
    TestBitmap f(3, 20, 3 * 4 + 60);
    f.fill(BACKGROUND);
    const FrameView pf = f.view();
    plotBar(pf, 1, 1e9, BAR);
    plotBar(pf, -1, 50.0, BAR);
    plotBar(pf, 3, 50.0, BAR);
    EXPECT_EQ(barRows(f, 1), (std::vector<int>{17, 18, 19}));
    EXPECT_TRUE(barRows(f, 0).empty() && barRows(f, 2).empty());
    EXPECT_TRUE(f.guardsIntact());
}

TEST(PlotMarkerRow, TruncatesAndLimits)
{
    EXPECT_EQ(plotMarkerRow(-INFINITY), 16);  // zero magnitude or zero gain
    EXPECT_EQ(plotMarkerRow(NAN), 16);
    EXPECT_EQ(plotMarkerRow(-3.5), 16);
    EXPECT_EQ(plotMarkerRow(0.99), 16);
    EXPECT_EQ(plotMarkerRow(1.0), 17);
    EXPECT_EQ(plotMarkerRow(1.5), 17);
    EXPECT_EQ(plotMarkerRow(2.0), 18);
    EXPECT_EQ(plotMarkerRow(135.3), 151);
    EXPECT_EQ(plotMarkerRow(559.999), 575);
    EXPECT_EQ(plotMarkerRow(560.0), 576);
    EXPECT_EQ(plotMarkerRow(INFINITY), 576);
}

TEST(PlotMarkerRow, CoversTheBarTopUnlessTheValueIsWhole)
{
    // The marker lands on the bar's top pixel for fractional v and directly
    // above the bar for whole v.
    for (double v : {1.5, 2.0, 2.5, 3.0, 7.75, 8.0, 100.0, 100.01}) {
        TestBitmap f(1, 200);
        plotBar(f.view(), 0, v, BAR);
        const int top = barRows(f, 0).back();
        EXPECT_EQ(plotMarkerRow(v), v == floor(v) ? top + 1 : top) << "v=" << v;
    }
}

}  // namespace
