// Every stage on rows with padding (pitch = 4 x w + 60, widths whose rows are
// not a multiple of 64 bytes): the visible pixels equal the unpadded result
// byte for byte, whatever the padding holds, and padding is never written
// except by the notch filter's copy of the whole bitmap.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "modes/modes.h"
#include "tests/support/frames.h"

namespace {

using namespace zelt_test;

struct StageCase {
    const char *name;
    std::function<void(FrameView src, FrameView dst)> stage;
    bool copiesBitmap;
};

const StageCase kStages[] = {
    {"notch", [](FrameView s, FrameView d) { notchFilter(s, d, 2, 7); }, true},
    {"notch with the mean", [](FrameView s, FrameView d) { notchFilter(s, d, 0, 3); }, true},
    {"dc average", [](FrameView s, FrameView d) { dcAverageFilter(s, d, false); }, false},
    {"dc average temporal", [](FrameView s, FrameView d) { dcAverageFilter(s, d, true); }, false},
    {"plain full", [](FrameView s, FrameView d) { zelt::FilterFull(s, d, 10); }, false},
    {"weighted full", [](FrameView s, FrameView d) { zelt_lpf::FilterFull(s, d, 10); }, false},
    {"weighted full with curve", [](FrameView s, FrameView d) { zelt_lpf::FilterFull(s, d, 90); }, false},
};

// Runs the stage twice (the temporal history sees a second frame) on a frame
// with the given padding; returns the visible destination pixels.
std::vector<uint32_t> visibleResult(const StageCase &c, int w, int h, int pad, uint32_t padSeed,
                                    std::vector<uint32_t> *visibleSource)
{
    dcHistoryReset();
    std::vector<uint32_t> out;
    for (uint32_t frame = 0; frame < 2; frame++) {
        TestFrame f(w, h, 4 * w + pad);
        f.src.randomiseBytes(padSeed + frame);  // the padding
        f.src.randomise(100 + frame);           // the picture
        f.chainCopy();
        const TestBitmap srcBefore = f.src, dstBefore = f.dst;
        c.stage(f.src.view(), f.dst.view());
        EXPECT_TRUE(f.src.guardsIntact() && f.dst.guardsIntact()) << c.name;
        for (int y = 0; y < h; y++)
            for (int x = w; x < (4 * w + pad) / 4; x++) {
                EXPECT_EQ(f.src.at(x, y), srcBefore.at(x, y)) << c.name << ": source padding written";
                if (!c.copiesBitmap)
                    EXPECT_EQ(f.d(x, y), dstBefore.at(x, y)) << c.name << ": destination padding written";
                else
                    EXPECT_EQ(f.d(x, y), srcBefore.at(x, y)) << c.name << ": not a copy of the bitmap";
            }
        out = f.dst.picture();
        *visibleSource = f.src.picture();
    }
    dcHistoryReset();
    return out;
}

}  // namespace

TEST(PaddedRows, VisiblePixelsMatchTheUnpaddedResult)
{
    for (int w : {101, 719}) {
        TablesScope tables(w);
        for (const StageCase &c : kStages) {
            std::vector<uint32_t> srcPlain, srcPadded, srcOther;
            const auto plain = visibleResult(c, w, 7, 0, 1, &srcPlain);
            const auto padded = visibleResult(c, w, 7, 60, 2, &srcPadded);
            const auto other = visibleResult(c, w, 7, 60, 3, &srcOther);
            EXPECT_EQ(padded, plain) << c.name << " w " << w;
            EXPECT_EQ(other, plain) << c.name << " w " << w;
            EXPECT_EQ(srcPadded, srcPlain) << c.name << " w " << w;
            EXPECT_EQ(srcOther, srcPlain) << c.name << " w " << w;
        }
    }
}
