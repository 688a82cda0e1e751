// Every stage on rows with padding (pitch = 4 x w + 60, widths whose rows are
// not a multiple of 64 bytes): the visible pixels equal the unpadded result
// byte for byte, whatever the padding holds, and padding is never written
// except by the notch filter's copy of the whole bitmap.
#include <gtest/gtest.h>

#include <vector>

#include "modes_test_support.h"

namespace {

typedef int (*StageFn)(const FilterActivation *, const FilterFunctions *);

struct StageCase {
    const char *name;
    StageFn stage;
    int minHarmonic, maxHarmonic, harmonics;
    bool temporal;
};

const StageCase kStages[] = {
    {"notch", notchFilter, 2, 7, 10, false},
    {"notch with the mean", notchFilter, 0, 3, 10, false},
    {"dc average", dcAverageFilter, 1, 1, 10, false},
    {"dc average temporal", dcAverageFilter, 1, 1, 10, true},
    {"plain full", zelt::FilterFull, 1, 1, 10, false},
    {"weighted full", zelt_lpf::FilterFull, 1, 1, 10, false},
    {"weighted full with curve", zelt_lpf::FilterFull, 1, 1, 90, false},
};

// Runs the stage twice (the temporal history sees a second frame) on a frame
// with the given padding; returns the visible destination pixels.
std::vector<uint32_t> visibleResult(const StageCase &c, int w, int h, int pad, uint32_t padSeed,
                                    std::vector<uint32_t> *visibleSource)
{
    dcHistoryReset();
    filterSettings.minHarmonic = c.minHarmonic;
    filterSettings.maxHarmonic = c.maxHarmonic;
    filterSettings.harmonicsNumber = c.harmonics;
    filterSettings.dcTemporal = c.temporal;
    std::vector<uint32_t> out;
    for (uint32_t frame = 0; frame < 2; frame++) {
        TestFrame f(w, h, pad);
        f.fillSource(100 + frame);
        f.fillPadding(padSeed + frame);
        f.chainCopy();
        const std::vector<uint32_t> srcBefore = f.srcBuf, dstBefore = f.dstBuf;
        c.stage(&f.fa, nullptr);
        out.clear();
        visibleSource->clear();
        for (int y = 0; y < h; y++)
            for (int x = 0; x < f.pitch / 4; x++) {
                const size_t i = (size_t)y * (f.pitch / 4) + x;
                if (x < w) {
                    out.push_back(f.dstBuf[i]);
                    visibleSource->push_back(f.srcBuf[i]);
                } else {
                    EXPECT_EQ(f.srcBuf[i], srcBefore[i]) << c.name << ": source padding written";
                    if (c.stage != notchFilter)
                        EXPECT_EQ(f.dstBuf[i], dstBefore[i]) << c.name << ": destination padding written";
                    else
                        EXPECT_EQ(f.dstBuf[i], srcBefore[i]) << c.name << ": not a copy of the bitmap";
                }
            }
    }
    dcHistoryReset();
    return out;
}

}  // namespace

TEST(PaddedRows, VisiblePixelsMatchTheUnpaddedResult)
{
    SettingsScope settings;
    for (int w : {101, 719}) {
        TablesFor tables(w);
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
