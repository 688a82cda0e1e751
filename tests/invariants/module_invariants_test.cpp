// Invariants of a whole module as the editor sees it, for every stage and a
// range of frame sizes (1 x 1 up to rows above 1026 and widths above 1024):
//   - byte 3 of a pixel is the source's, except where full processing packs a
//     rebuilt row (0) and in the spectrum display (0 everywhere);
//   - the rows a stage leaves alone stay as the chain's copy left them, and
//     the source changes only by the notch taper of its end pixels;
//   - the output is a pure function of the settings and the frames in order:
//     not of the destination's old bytes, the row padding, the settings no
//     stage reads, the instruction set, an earlier run at another width, or
//     the run boundaries.
// Built once per module (ZELT_INVARIANTS_LPF: 1 zelt_lpf, 0 zelt).
#include <stdint.h>
#include <string.h>

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "display/display_dsp.h"
#include "engine/dsp.h"
#include "modes/modes.h"
#include "modes/modes_dsp.h"
#include "tests/invariants/invariant_host.h"

#if !defined(ZELT_INVARIANTS_LPF)
#error "ZELT_INVARIANTS_LPF must be defined by the build"
#endif

namespace {

const bool kLpf = ZELT_INVARIANTS_LPF;
const int kPadding = 3;

enum Stage {
    NONE,
    NOTCH,
    NOTCH_EMPTY,      // max below min: nothing subtracted, the taper still written
    NOTCH_WITH_MEAN,  // a band that holds harmonic 0
    DC,
    DC_TEMPORAL,
    FULL,
    FULL_NO_HARMONICS,  // N = 0: rebuilt rows come out black
    ALL,
    DISPLAY,
};

const char *stageName(Stage s)
{
    static const char *const names[] = {"None",       "Notch", "NotchEmpty",      "NotchWithMean", "Dc",
                                        "DcTemporal", "Full",  "FullNoHarmonics", "All",           "Display"};
    return names[s];
}

int atMost(int v, int w)
{
    return v < w ? v : w;
}

FilterSettings settingsFor(Stage s, int w)
{
    FilterSettings f = defaultFilterSettings();
    switch (s) {
    case NONE: break;
    case NOTCH: f.notchEnabled = 1, f.minHarmonic = 1, f.maxHarmonic = 4; break;
    case NOTCH_EMPTY: f.notchEnabled = 1, f.minHarmonic = 5, f.maxHarmonic = 2; break;
    case NOTCH_WITH_MEAN: f.notchEnabled = 1, f.minHarmonic = 0, f.maxHarmonic = 2; break;
    case DC: f.dcAverage = 1; break;
    case DC_TEMPORAL: f.dcAverage = 1, f.dcTemporal = 1; break;
    case FULL: f.fullProcessing = 1, f.harmonicsNumber = atMost(24, w); break;
    case FULL_NO_HARMONICS: f.fullProcessing = 1, f.harmonicsNumber = 0; break;
    case ALL:
        f.notchEnabled = 1, f.minHarmonic = 1, f.maxHarmonic = 4;
        f.dcAverage = 1, f.dcTemporal = 1;
        f.fullProcessing = 1, f.harmonicsNumber = atMost(16, w);
        break;
    case DISPLAY:
        f.displaySpectrum = 1, f.harmonicsNumber = atMost(40, w);
        f.notchEnabled = f.dcAverage = f.fullProcessing = 1;  // no stage runs in a displayed frame
        break;
    }
    return f;
}

bool hasNotch(Stage s)
{
    return s == NOTCH || s == NOTCH_EMPTY || s == NOTCH_WITH_MEAN || s == ALL;
}

bool hasFull(Stage s)
{
    return s == FULL || s == FULL_NO_HARMONICS || s == ALL;
}

// Whether full processing packs pixel j of row r: the pairs of the rows the
// module's form rebuilds (zelt_lpf: 0..h-3; zelt: all), frames of at least
// four columns.
bool packed(Stage s, int w, int h, int r, int j)
{
    if (!hasFull(s) || w < 4)
        return false;
    if (kLpf && r >= h - 2)
        return false;
    return j < 2 * (w / 2);
}

// The taper of one source row, step by step as the notch stage writes it.
void taper(uint8_t *row, int w)
{
    auto zero = [&](int j) { memset(row + 4 * j, 0, 3); };
    auto halve = [&](int j) {
        for (int c = 0; c < 3; c++)
            row[4 * j + c] >>= 1;
    };
    zero(0);
    if (w >= 2)
        halve(1);
    zero(w - 1);
    if (w >= 2)
        halve(w - 2);
}

struct Size {
    int w, h;
};

class StageInvariants : public ::testing::TestWithParam<std::tuple<Stage, Size>> {
protected:
    void SetUp() override { resetModuleState(); }
    void TearDown() override { resetModuleState(); }
};

TEST_P(StageInvariants, ByteThreeUntouchedRowsAndSource)
{
    const Stage stage = std::get<0>(GetParam());
    const int w = std::get<1>(GetParam()).w, h = std::get<1>(GetParam()).h;
    TestHost host;
    ASSERT_TRUE(host.ok()) << host.error();
    filterSettings = settingsFor(stage, w);
    HostRun run(host, w, h, kPadding);
    ASSERT_EQ(run.start(), 0);

    // Two frames, so that the temporal history is read as well as written.
    for (uint32_t seed : {11u, 12u}) {
        SCOPED_TRACE("frame seed " + std::to_string(seed));
        PaddedBitmap frame(w, h, kPadding);
        frame.fillRandom(seed);
        const int status = run.run(frame);
        EXPECT_EQ(status, 0);

        const PaddedBitmap &src = run.src, &dst = run.dst;
        if (stage == DISPLAY) {
            // Nothing of the source changes; the whole destination is redrawn.
            EXPECT_EQ(src.memory, frame.memory);
            for (int r = 0; r < h; r++) {
                for (int j = 0; j < w; j++)
                    ASSERT_EQ(dst.pixel(r, j)[3], 0) << "row " << r << " column " << j;
                for (size_t b = 4 * (size_t)w; b < dst.pitch(); b++)
                    ASSERT_EQ(dst.row(r)[b], 0) << "padding of row " << r;
            }
            continue;
        }

        // The source: the taper of the notch stage and nothing else.
        PaddedBitmap expectedSrc = frame;
        if (hasNotch(stage))
            for (int r = 0; r < h; r++)
                taper(expectedSrc.row(r), w);
        EXPECT_EQ(src.memory, expectedSrc.memory);

        for (int r = 0; r < h; r++) {
            // The chain copies the whole block, padding included.
            EXPECT_EQ(0, memcmp(dst.row(r) + 4 * (size_t)w, frame.row(r) + 4 * (size_t)w, dst.pitch() - 4 * (size_t)w))
                << "padding of row " << r;
            for (int j = 0; j < w; j++) {
                const uint8_t expected = packed(stage, w, h, r, j) ? 0 : frame.pixel(r, j)[3];
                ASSERT_EQ(dst.pixel(r, j)[3], expected) << "byte 3 at row " << r << " column " << j;
                if (stage == FULL_NO_HARMONICS && packed(stage, w, h, r, j)) {
                    ASSERT_EQ(0, memcmp(dst.pixel(r, j), "\0\0\0\0", 4)) << "row " << r << " column " << j;
                }
            }
        }

        // Rows (and pixels) each stage leaves as the chain's copy.
        std::vector<int> keptRows;
        bool keepsLastPixel = false;
        switch (stage) {
        case NONE:
        case NOTCH_EMPTY:
            for (int r = 0; r < h; r++)
                keptRows.push_back(r);
            break;
        case DC:
        case DC_TEMPORAL:
            keptRows = {0, h - 1};
            if (h < 3)
                for (int r = 0; r < h; r++)
                    keptRows.push_back(r);
            break;
        case FULL:
        case FULL_NO_HARMONICS:
            for (int r = 0; r < h; r++)
                if (!packed(stage, w, h, r, 0))
                    keptRows.push_back(r);
            keepsLastPixel = w % 2 == 1;
            break;
        default: break;
        }
        for (int r : keptRows)
            EXPECT_EQ(0, memcmp(dst.row(r), frame.row(r), 4 * (size_t)w)) << "row " << r << " was written";
        if (keepsLastPixel) {
            for (int r = 0; r < h; r++)
                EXPECT_EQ(0, memcmp(dst.pixel(r, w - 1), frame.pixel(r, w - 1), 4)) << "last pixel of row " << r;
        }
    }
}

const Size kSizes[] = {{1, 1},   {2, 2},     {3, 3},     {4, 1},   {5, 2},    {7, 5},    {8, 8},
                       {10, 10}, {720, 576}, {720, 480}, {513, 6}, {1030, 4}, {16, 1030}};

INSTANTIATE_TEST_SUITE_P(EveryStageAndSize, StageInvariants,
                         ::testing::Combine(::testing::Values(NONE, NOTCH, NOTCH_EMPTY, NOTCH_WITH_MEAN, DC,
                                                              DC_TEMPORAL, FULL, FULL_NO_HARMONICS, ALL, DISPLAY),
                                            ::testing::ValuesIn(kSizes)),
                         [](const ::testing::TestParamInfo<StageInvariants::ParamType> &p) {
                             const Size s = std::get<1>(p.param);
                             return std::string(stageName(std::get<0>(p.param))) + "_" + std::to_string(s.w) + "x" +
                                    std::to_string(s.h);
                         });

// ------------------------------------------------------------ pure function

struct Outputs {
    std::vector<std::vector<uint8_t>> dst, src;
    bool operator==(const Outputs &o) const { return dst == o.dst && src == o.src; }
};

// Plays `frames` in one run with `settings`, from the state the process is
// in; returns the pixels (padding left out) after every frame.
Outputs play(const FilterSettings &settings, const std::vector<PaddedBitmap> &frames, uint8_t dstFill = 0x5A)
{
    TestHost host;
    filterSettings = settings;
    HostRun run(host, frames[0].w(), frames[0].h(), (int)(frames[0].pitch() / 4) - frames[0].w());
    Outputs out;
    if (run.start() != 0)
        return out;
    for (const PaddedBitmap &f : frames) {
        if (f.w() != run.src.w() || f.h() != run.src.h())
            run.resize(f.w(), f.h(), 0);
        run.run(f, dstFill);
        out.dst.push_back(run.dst.pixels());
        out.src.push_back(run.src.pixels());
    }
    return out;
}

std::vector<PaddedBitmap> frames(int w, int h, int padding, std::initializer_list<uint32_t> seeds, uint8_t pad = 0xA5)
{
    std::vector<PaddedBitmap> out;
    for (uint32_t s : seeds) {
        out.emplace_back(w, h, padding);
        out.back().fillRandom(s, pad);
    }
    return out;
}

class PureFunction : public ::testing::TestWithParam<Stage> {
protected:
    void SetUp() override { resetModuleState(); }
    void TearDown() override
    {
        dspSetCpuCap(CPU_AVX512);
        resetModuleState();
    }
};

TEST_P(PureFunction, SameSettingsAndFramesGiveTheSameBytes)
{
    const FilterSettings s = settingsFor(GetParam(), 66);
    const std::vector<PaddedBitmap> in = frames(66, 9, 2, {1, 2, 3});
    const Outputs first = play(s, in);
    ASSERT_EQ(first.dst.size(), 3u);
    resetModuleState();
    EXPECT_TRUE(play(s, in) == first);
}

TEST_P(PureFunction, IndependentOfWhatNoStageMayRead)
{
    const int w = 66, h = 9;
    const FilterSettings s = settingsFor(GetParam(), w);
    const Outputs reference = play(s, frames(w, h, 2, {5, 6}));
    ASSERT_EQ(reference.dst.size(), 2u);

    // The destination's old bytes.
    resetModuleState();
    EXPECT_TRUE(play(s, frames(w, h, 2, {5, 6}), 0xFF) == reference) << "old destination bytes";
    // The row padding and the pitch.
    resetModuleState();
    EXPECT_TRUE(play(s, frames(w, h, 2, {5, 6}, 0x00)) == reference) << "padding bytes";
    resetModuleState();
    {
        std::vector<PaddedBitmap> unpadded;
        for (const PaddedBitmap &f : frames(w, h, 2, {5, 6})) {
            unpadded.emplace_back(w, h, 0);
            for (int r = 0; r < h; r++)
                memcpy(unpadded.back().row(r), f.row(r), 4 * (size_t)w);
        }
        EXPECT_TRUE(play(s, unpadded) == reference) << "pitch";
    }
    // The settings no stage reads.
    resetModuleState();
    FilterSettings unread = s;
    unread.mainHarmonic = -77;
    unread.curveAggression = 1e30f;
    unread.rejectionDb = 123456;
    unread.harmonicsLimit = -1;
    EXPECT_TRUE(play(unread, frames(w, h, 2, {5, 6})) == reference) << "unread settings";
    // Tables left from an earlier run at another width.
    resetModuleState();
    play(s, frames(w + 6, h, 0, {9}));
    dcHistoryReset();
    EXPECT_TRUE(play(s, frames(w, h, 2, {5, 6})) == reference) << "earlier run at another width";
    // Every instruction-set level.
    for (int level = CPU_SCALAR; level <= CPU_AVX512; level++) {
        resetModuleState();
        dspSetCpuCap((CpuLevel)level);
        EXPECT_TRUE(play(s, frames(w, h, 2, {5, 6})) == reference) << cpuLevelName((CpuLevel)level);
    }
}

TEST_P(PureFunction, FramesInOrderWhateverTheRuns)
{
    // Frames A then B give the same B whether or not a run ends between them:
    // the temporal history belongs to the frame order, not to a run.
    const FilterSettings s = settingsFor(GetParam(), 40);
    const Outputs together = play(s, frames(40, 7, 1, {21, 22}));
    ASSERT_EQ(together.dst.size(), 2u);
    resetModuleState();
    play(s, frames(40, 7, 1, {21}));
    const Outputs apart = play(s, frames(40, 7, 1, {22}));
    ASSERT_EQ(apart.dst.size(), 1u);
    EXPECT_EQ(apart.dst[0], together.dst[1]);
    EXPECT_EQ(apart.src[0], together.src[1]);

    // Without the temporal option a frame owes nothing to the ones before it.
    if (!s.dcTemporal) {
        resetModuleState();
        const Outputs alone = play(s, frames(40, 7, 1, {22}));
        EXPECT_EQ(alone.dst[0], together.dst[1]);
    }
}

INSTANTIATE_TEST_SUITE_P(Stages, PureFunction,
                         ::testing::Values(NONE, NOTCH, NOTCH_WITH_MEAN, DC, DC_TEMPORAL, FULL, ALL, DISPLAY),
                         [](const ::testing::TestParamInfo<Stage> &p) { return stageName(p.param); });

// Settings confirmed in the dialog between two frames take effect at the next
// frame, which then equals that frame in a process that started with them.
TEST(SettingsChange, TakeEffectAtTheNextFrame)
{
    resetModuleState();
    const int w = 48, h = 6;
    const std::vector<PaddedBitmap> in = frames(w, h, 1, {31, 32});
    FilterSettings confirmed;
    std::vector<uint8_t> changed;
    {
        // One instance of the module at a time: this one goes before the fresh plays.
        TestHost host;
        HostRun run(host, w, h, 1);
        ASSERT_EQ(run.start(), 0);
        run.run(in[0]);

        ASSERT_EQ(host.dialog(&run.fa,
                              [](ZeltDialogUser *u) {
                                  u->setChecked(u, 1005, 1);
                                  u->setText(u, 1009, "2");
                                  u->setText(u, 1008, "7");
                                  u->setChecked(u, 1006, 1);
                                  u->setText(u, 1001, "12");
                                  u->click(u, 1);
                              }),
                  0);
        confirmed = filterSettings;
        run.run(in[1]);
        changed = run.dst.pixels();
        run.end();
    }

    resetModuleState();
    const Outputs fresh = play(confirmed, {in[1]});
    ASSERT_EQ(fresh.dst.size(), 1u);
    EXPECT_EQ(changed, fresh.dst[0]);
    // And the change did change something.
    resetModuleState();
    EXPECT_NE(changed, play(defaultFilterSettings(), {in[1]}).dst[0]);
}

}  // namespace
