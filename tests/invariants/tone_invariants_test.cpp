// Invariants of the tone module (zelt_tone) as the editor sees it, for its
// ways of working (tones found or typed, flicker correction) and a range of
// frame sizes (1 x 1 up to rows above 1026 and widths above 1024):
//   - byte 3 of every pixel passes unchanged, and the source is never
//     written;
//   - the output is a pure function of the settings and the frames of the
//     run in order: not of the destination's old bytes, the row padding, the
//     instruction set, or an earlier run (at this width or another).
#include <stdint.h>
#include <string.h>

#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "engine/dsp.h"
#include "host/tone_settings.h"
#include "tests/invariants/invariant_host.h"

namespace {

enum Way { FOUND, FOUND_WITH_FLICKER, TYPED, WIDE_SEARCH };

const char *wayName(Way w)
{
    static const char *const names[] = {"Found", "FoundWithFlicker", "Typed", "WideSearch"};
    return names[w];
}

ToneFilterSettings settingsFor(Way way)
{
    ToneFilterSettings s = defaultToneFilterSettings();
    switch (way) {
    case FOUND: break;
    case FOUND_WITH_FLICKER: s.flickerStrength = 70; break;
    case TYPED:
        s.autoDetect = 0;
        s.typedCount = 3;
        s.typed[0] = 3.25, s.typed[1] = 0.5, s.typed[2] = 40.125;  // one beyond narrow widths' limit
        break;
    case WIDE_SEARCH: s.toneCount = kToneMax, s.minFreq = 0.0, s.maxFreq = kToneFreqLimit; break;
    }
    return s;
}

struct Size {
    int w, h;
};

// A drifting tone at a fractional frequency over noise: what the module
// removes, so that every stage of it has work.
PaddedBitmap toneFrame(int w, int h, int padding, uint32_t seed, double freq)
{
    PaddedBitmap f(w, h, padding);
    f.fillPadding(0xA5);
    for (int r = 0; r < h; r++)
        for (int j = 0; j < w; j++) {
            // Noise by position, so that the pixels do not depend on the padding.
            uint32_t n = (seed * 2654435761u) ^ (uint32_t)(r * 40503 + j * 9973 + 1);
            n ^= n << 13, n ^= n >> 17, n ^= n << 5;
            uint8_t *p = f.pixel(r, j);
            // Integer-only drift: identical frames on every build.
            const int phase = (int)((int64_t)(freq * 256) * (j + (int64_t)r * w) / w) & 255;
            const int tri = phase < 128 ? phase : 255 - phase;
            for (int c = 0; c < 3; c++)
                p[c] = (uint8_t)(64 + tri + (n >> (8 * c) & 15));
            p[3] = (uint8_t)(n >> 24);
        }
    return f;
}

class ToneInvariants : public ::testing::TestWithParam<std::tuple<Way, Size>> {
protected:
    void SetUp() override { toneFilterSettings = defaultToneFilterSettings(); }
    void TearDown() override
    {
        toneFilterSettings = defaultToneFilterSettings();
        dspSetCpuCap(CPU_AVX512);
    }

    Way way() const { return std::get<0>(GetParam()); }
    int w() const { return std::get<1>(GetParam()).w; }
    int h() const { return std::get<1>(GetParam()).h; }

    // The pixels of the destination after each frame of one run.
    std::vector<std::vector<uint8_t>> play(int padding, uint8_t dstFill, int frames = 3)
    {
        TestHost host;
        EXPECT_TRUE(host.ok()) << host.error();
        toneFilterSettings = settingsFor(way());
        HostRun run(host, w(), h(), padding);
        EXPECT_EQ(run.start(), 0);
        std::vector<std::vector<uint8_t>> out;
        for (int f = 0; f < frames; f++) {
            const PaddedBitmap frame = toneFrame(w(), h(), padding, 11 + f, 5.3 + 0.01 * f);
            EXPECT_EQ(run.run(frame, dstFill), 0);
            out.push_back(run.dst.pixels());
        }
        return out;
    }
};

TEST_P(ToneInvariants, ByteThreePassesAndTheSourceStays)
{
    TestHost host;
    ASSERT_TRUE(host.ok()) << host.error();
    toneFilterSettings = settingsFor(way());
    HostRun run(host, w(), h(), 3);
    ASSERT_EQ(run.start(), 0);
    for (int f = 0; f < 2; f++) {
        const PaddedBitmap frame = toneFrame(w(), h(), 3, 5 + f, 9.7);
        ASSERT_EQ(run.run(frame), 0);
        ASSERT_TRUE(run.src.memory == frame.memory) << "frame " << f;
        for (int r = 0; r < h(); r++)
            for (int j = 0; j < w(); j++)
                ASSERT_EQ(run.dst.pixel(r, j)[3], frame.pixel(r, j)[3]) << r << "," << j;
    }
}

TEST_P(ToneInvariants, PureFunctionOfSettingsAndFrames)
{
    const auto reference = play(0, 0x00);
    // The destination's old bytes and the row padding.
    EXPECT_TRUE(play(5, 0xFF) == reference);
    // Every instruction-set level this machine has.
    for (int level = CPU_SCALAR; level <= (int)cpuDetect(); level++) {
        dspSetCpuCap((CpuLevel)level);
        EXPECT_TRUE(play(1, 0x5A) == reference) << cpuLevelName((CpuLevel)level);
    }
    dspSetCpuCap(CPU_AVX512);
    // An earlier run at another width leaves nothing behind.
    {
        TestHost host;
        ASSERT_TRUE(host.ok()) << host.error();
        toneFilterSettings = settingsFor(way());
        HostRun other(host, w() + 7, 3, 0);
        ASSERT_EQ(other.start(), 0);
        ASSERT_EQ(other.run(toneFrame(w() + 7, 3, 0, 99, 2.2)), 0);
    }
    EXPECT_TRUE(play(0, 0x00) == reference);
}

const Size kSizes[] = {{1, 1}, {2, 3}, {7, 5}, {64, 9}, {720, 12}, {1030, 3}, {2048, 2}, {12, 1100}};

INSTANTIATE_TEST_SUITE_P(EveryWayAndSize, ToneInvariants,
                         ::testing::Combine(::testing::Values(FOUND, FOUND_WITH_FLICKER, TYPED, WIDE_SEARCH),
                                            ::testing::ValuesIn(kSizes)),
                         [](const ::testing::TestParamInfo<ToneInvariants::ParamType> &p) {
                             const Size s = std::get<1>(p.param);
                             return std::string(wayName(std::get<0>(p.param))) + "_" + std::to_string(s.w) +
                                    "x" + std::to_string(s.h);
                         });

}  // namespace
