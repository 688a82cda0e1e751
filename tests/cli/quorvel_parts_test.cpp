// quorvel's parts on their own: option parsing, host bitmaps, pixel
// conversion, peak finding.
#include <gtest/gtest.h>
#include <math.h>

#include <random>

#include "cli/analyse.h"
#include "hosting/bitmap.h"
#include "cli/convert.h"
#include "cli/options.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace {

bool parse(std::vector<std::string> args, Options &o, std::string &err)
{
    std::vector<char *> argv;
    static char prog[] = "quorvel";
    argv.push_back(prog);
    for (std::string &a : args)
        argv.push_back(&a[0]);
    return parseOptions((int)argv.size(), argv.data(), o, err);
}

TEST(QuorvelOptions, WholeNumbersAreStrictAndWithinTheIntRange)
{
    int v = 0;
    EXPECT_TRUE(parseInt("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(parseInt("-2147483648", v));
    EXPECT_EQ(v, -2147483647 - 1);
    EXPECT_TRUE(parseInt("+12", v));
    EXPECT_EQ(v, 12);
    for (const char *bad :
         {"2147483648", "-2147483649", "99999999999999999999", "", " 5", "5 ", "5x", "x5", "1e3", "0x10", "-"})
        EXPECT_FALSE(parseInt(bad, v)) << bad;
    double d = 0;
    EXPECT_TRUE(parseReal("1.5", d));
    EXPECT_EQ(d, 1.5);
    for (const char *bad : {"", "abc", "1.5x", "nan", "inf", "1e999"})
        EXPECT_FALSE(parseReal(bad, d)) << bad;
}

TEST(QuorvelOptions, SettingsBecomeDialogActionsOnTheirControls)
{
    Options o;
    std::string err;
    ASSERT_TRUE(parse({"--harmonics", "361", "--notch", "--min-harmonic=8", "--max-harmonic", "9", "--full",
                       "--curve-aggression", "2.5", "--dc-average", "--temporal", "--display-spectrum",
                       "--main-harmonic", "4", "--rejection-db", "30", "in.png", "out.png"},
                      o, err))
        << err;
    ASSERT_EQ(o.paths.size(), 2u);
    struct Want {
        int id;
        bool check;
        const char *text;
    };
    const Want want[] = {{1001, false, "361"}, {1005, true, ""},     {1009, false, "8"}, {1008, false, "9"},
                         {1006, true, ""},     {1010, false, "2.5"}, {1012, true, ""},   {1013, true, ""},
                         {1002, true, ""},     {1007, false, "4"},   {1011, false, "30"}};
    ASSERT_EQ(o.dialog.size(), sizeof want / sizeof want[0]);
    for (size_t i = 0; i < o.dialog.size(); i++) {
        EXPECT_EQ(o.dialog[i].id, want[i].id);
        EXPECT_EQ(o.dialog[i].isCheck, want[i].check);
        if (!want[i].check) {
            EXPECT_EQ(o.dialog[i].text, want[i].text);
        }
    }
    // Retyping a field keeps the last value, in the first field's place.
    Options o2;
    ASSERT_TRUE(parse({"--harmonics", "5", "--harmonics", "7", "a", "b"}, o2, err));
    ASSERT_EQ(o2.dialog.size(), 1u);
    EXPECT_EQ(o2.dialog[0].text, "7");
}

TEST(QuorvelOptions, MistakesAreRefusedWithAMessage)
{
    const std::vector<std::vector<std::string>> bad = {{"--bogus", "a", "b"},
                                                       {"--harmonics", "ten", "a", "b"},
                                                       {"--harmonics", "4294967296", "a", "b"},
                                                       {"--harmonics"},
                                                       {"--notch=1", "a", "b"},
                                                       {"--frames", "0", "a", "b"},
                                                       {"--cpu", "sse9", "a", "b"},
                                                       {"only-one"},
                                                       {"a", "b", "c"},
                                                       {"analyse", "--full", "a"},
                                                       {"analyse", "a", "b"},
                                                       {"sample", "--module", "zelt", "o.mkv"},
                                                       {"compare", "a"},
                                                       {"--curve-aggression", "x", "a", "b"}};
    for (const auto &args : bad) {
        Options o;
        std::string err;
        EXPECT_FALSE(parse(args, o, err)) << args[0];
        EXPECT_FALSE(err.empty());
    }
}

TEST(QuorvelBitmap, RowsArePaddedAndAddressedBottomUp)
{
    for (int w : {1, 3, 15, 16, 17, 150, 721}) {
        HostBitmap b;
        ASSERT_TRUE(b.allocate(w, 5));
        EXPECT_EQ(b.pitch() % HOST_PITCH_ALIGN, 0);
        EXPECT_GE(b.pitch(), 4 * w);
        EXPECT_LT(b.pitch(), 4 * w + HOST_PITCH_ALIGN);
        EXPECT_EQ(b.size(), (size_t)b.pitch() * 5);
        EXPECT_EQ(b.pictureRow(0), b.memoryRow(4));
        EXPECT_EQ(b.pictureRow(4), b.data());
        VFBitmap vb;
        b.describe(&vb);
        EXPECT_EQ((const void *)vb.data, (const void *)b.data());
        EXPECT_EQ(vb.w, w);
        EXPECT_EQ(vb.h, 5);
        EXPECT_EQ(vb.pitch, (vd_sizet)b.pitch());
        EXPECT_EQ(vb.size, (vd_sizet)b.size());
        EXPECT_EQ(vb.depth, 32);
    }
    HostBitmap none;
    EXPECT_FALSE(none.allocate(0, 5));
    EXPECT_FALSE(none.allocate(5, -1));
    EXPECT_FALSE(none.allocate(1 << 30, 1 << 30));
}

// Every 8-bit RGB layout goes in and comes out byte for byte, the right way up.
TEST(QuorvelConvert, RgbLayoutsRoundTripExactly)
{
    const int w = 37, h = 11;
    std::mt19937 rng(5);
    for (AVPixelFormat fmt : {AV_PIX_FMT_RGB24, AV_PIX_FMT_BGR24, AV_PIX_FMT_RGBA, AV_PIX_FMT_BGRA, AV_PIX_FMT_ARGB,
                              AV_PIX_FMT_ABGR, AV_PIX_FMT_RGB0, AV_PIX_FMT_BGR0, AV_PIX_FMT_GBRP}) {
        SCOPED_TRACE(fmt);
        HostBitmap src, back;
        ASSERT_TRUE(src.allocate(w, h));
        ASSERT_TRUE(back.allocate(w, h));
        for (int y = 0; y < h; y++)
            for (int x = 0; x < 4 * w; x++)
                src.memoryRow(y)[x] = (x & 3) == 3 ? 0 : (uint8_t)rng();
        AVFrame *f = av_frame_alloc();
        f->format = fmt;
        f->width = w;
        f->height = h;
        ASSERT_GE(av_frame_get_buffer(f, 32), 0);
        FrameExporter ex;
        FrameImporter im;
        std::string err;
        ASSERT_TRUE(ex.exportTo(src, f, err)) << err;
        ASSERT_TRUE(im.import(f, back, err)) << err;
        for (int y = 0; y < h; y++)
            ASSERT_EQ(memcmp(src.memoryRow(y), back.memoryRow(y), (size_t)4 * w), 0) << "row " << y;
        // The picture's top row is the bitmap's last memory row.
        if (fmt == AV_PIX_FMT_RGB24) {
            const uint8_t *top = f->data[0];
            EXPECT_EQ(top[0], src.memoryRow(h - 1)[2]);
            EXPECT_EQ(top[1], src.memoryRow(h - 1)[1]);
            EXPECT_EQ(top[2], src.memoryRow(h - 1)[0]);
        }
        av_frame_free(&f);
    }
}

TEST(QuorvelConvert, PaletteAndGreyMapWithoutScaling)
{
    const int w = 4, h = 2;
    AVFrame *f = av_frame_alloc();
    f->format = AV_PIX_FMT_PAL8;
    f->width = w;
    f->height = h;
    ASSERT_GE(av_frame_get_buffer(f, 32), 0);
    uint32_t *pal = (uint32_t *)f->data[1];
    for (int i = 0; i < 256; i++)
        pal[i] = 0xFF000000u | (uint32_t)(i << 16) | (uint32_t)((255 - i) << 8) | (uint32_t)(i / 2);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            f->data[0][y * f->linesize[0] + x] = (uint8_t)(y * 100 + x * 7);
    HostBitmap b;
    ASSERT_TRUE(b.allocate(w, h));
    FrameImporter im;
    std::string err;
    ASSERT_TRUE(im.import(f, b, err)) << err;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const int i = y * 100 + x * 7;
            const uint8_t *p = b.pictureRow(y) + 4 * x;
            EXPECT_EQ(p[2], i);
            EXPECT_EQ(p[1], 255 - i);
            EXPECT_EQ(p[0], i / 2);
        }
    av_frame_free(&f);

    f = av_frame_alloc();
    f->format = AV_PIX_FMT_GRAY8;
    f->width = w;
    f->height = h;
    ASSERT_GE(av_frame_get_buffer(f, 32), 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            f->data[0][y * f->linesize[0] + x] = (uint8_t)(x * 80 + y);
    ASSERT_TRUE(im.import(f, b, err)) << err;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++)
                EXPECT_EQ(b.pictureRow(y)[4 * x + c], x * 80 + y);
    av_frame_free(&f);
}

// A smooth, falling spectrum with two planted spikes: exactly the spikes
// are found, and with how far they stand out.
TEST(QuorvelAnalyse, PeaksAreTheSpikesAboveTheirNeighbourhood)
{
    std::vector<double> mag(361);
    for (size_t b = 0; b < mag.size(); b++)
        mag[b] = 40.0 / (1.0 + 0.2 * (double)b);
    const double base112 = mag[112], base173 = mag[173];
    mag[112] = base112 * 10.0;  // +20 dB
    mag[173] = base173 * 4.0;   // +12 dB
    const auto peaks = findPeaks(mag, 8);
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_EQ(peaks[0].harmonic, 112);
    EXPECT_EQ(peaks[1].harmonic, 173);
    // The neighbourhood level is the larger of the two side medians: the
    // left side of a falling spectrum: harmonics b - 26 .. b - 3, whose median
    // is harmonic b - 15.
    EXPECT_NEAR(peaks[0].excessDb, 20.0 * log10(mag[112] / (40.0 / (1.0 + 0.2 * (112 - 15)))), 1e-9);
    EXPECT_GT(peaks[0].excessDb, 18.0);
    EXPECT_LT(peaks[1].excessDb, 12.0);
    EXPECT_GT(peaks[1].excessDb, 9.0);
    // Only the strongest are kept when asked for fewer.
    const auto one = findPeaks(mag, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].harmonic, 112);
    // The falling slope alone is no peak, nor is a flat spectrum.
    for (size_t b = 0; b < mag.size(); b++)
        mag[b] = 40.0 / (1.0 + 0.2 * (double)b);
    EXPECT_TRUE(findPeaks(mag, 8).empty());
    EXPECT_TRUE(findPeaks(std::vector<double>(361, 1.0), 8).empty());
}

TEST(QuorvelAnalyse, FlickerIsTheTypicalJumpFromTheNeighbours)
{
    // Smooth ramp: no flicker. Alternating +-1: each row 2 from its
    // neighbours' average.
    std::vector<double> ramp(100), alt(100);
    for (int y = 0; y < 100; y++) {
        ramp[(size_t)y] = 10 + 0.5 * y;
        alt[(size_t)y] = 50 + ((y & 1) ? 1.0 : -1.0);
    }
    EXPECT_NEAR(rowFlicker(ramp), 0.0, 1e-9);
    EXPECT_NEAR(rowFlicker(alt), 1.4826 * 2.0, 1e-9);
}

TEST(QuorvelAnalyse, SuggestionsCoverThePeaks)
{
    Analysis a;
    a.width = 720;
    a.height = 576;
    a.magnitude.assign(361, 1.0);
    a.peaks = {{112, 6.0, 15.0}, {173, 4.0, 19.0}};
    a.flicker = 2.0;
    const Suggestion s = suggestOptions(a);
    const std::vector<std::string> notch = {"--notch", "--min-harmonic", "112", "--max-harmonic",
                                            "113",     "--dc-average"};
    EXPECT_EQ(s.notch, notch);
    const std::vector<std::string> full = {"--full", "--harmonics", "361"};
    EXPECT_EQ(s.full, full);
    // Below the curve's first harmonic full processing changes nothing.
    a.peaks = {{30, 6.0, 15.0}};
    a.flicker = 0;
    const Suggestion low = suggestOptions(a);
    EXPECT_TRUE(low.full.empty());
    EXPECT_EQ(low.notch.size(), 5u);
    // A locked tone the remover found, below a stronger peak it did not
    // (the picture's own): both suggestions go to the tone.
    a.peaks = {{112, 6.0, 15.0}, {173, 4.0, 19.0}};
    a.tones = {173.0};
    attachTones(a);
    const Suggestion found = suggestOptions(a);
    EXPECT_EQ(found.notch, (std::vector<std::string>{"--notch", "--min-harmonic", "173", "--max-harmonic", "174"}));
    EXPECT_EQ(found.tone, (std::vector<std::string>{"--tone", "173"}));
}

// A tone drifting at 52.37 cycles per row leaks over 50..54, a locked one
// sits at 200: the estimates go to their peaks, the notch covers the leakage
// of the drifting one, and the tone remover is offered both.
TEST(QuorvelAnalyse, DriftingTonesGetTheirFractionAndTheBandTheyLeakOver)
{
    Analysis a;
    a.width = 720;
    a.magnitude.assign(361, 1.0);
    const double leak[] = {2.0, 3.0, 8.0, 5.0, 2.5, 1.3};  // harmonics 50..55
    for (int k = 0; k < 6; k++)
        a.magnitude[(size_t)(50 + k)] = leak[k];
    a.magnitude[200] = 4.0;
    a.peaks = findPeaks(a.magnitude, 8);
    ASSERT_EQ(a.peaks.size(), 2u);
    a.tones = {52.37, 200.01};
    attachTones(a);
    EXPECT_EQ(a.peaks[0].freq, 52.37);
    EXPECT_FALSE(a.peaks[0].locked);
    EXPECT_TRUE(a.peaks[1].locked);
    const Suggestion s = suggestOptions(a);
    const std::vector<std::string> notch = {"--notch", "--min-harmonic", "50", "--max-harmonic", "55"};
    EXPECT_EQ(s.notch, notch);
    const std::vector<std::string> tone = {"--tone", "52.37,200"};
    EXPECT_EQ(s.tone, tone);
    // MHz over the active line: 52.37 cycles in 52 us and in 52.656 us.
    EXPECT_NE(
        analysisText(a, s).find("52.37         8.00           +18.1 dB           1.007           0.995   drifting\n"),
        std::string::npos)
        << analysisText(a, s);
    // A tone no peak stood for becomes one.
    a.tones = {52.37, 200.01, 300.5};
    attachTones(a);
    ASSERT_EQ(a.peaks.size(), 3u);
    EXPECT_EQ(a.peaks[2].harmonic, 301);
    EXPECT_EQ(a.peaks[2].freq, 300.5);
}

}  // namespace
