// The tone module as an editor and a user meet it: registration, its own
// dialog through the native dialog layer (checked against the table generated
// from its .rc), and frames through the plug-in calls: a drifting tone goes,
// a clean picture stays, and every instruction-set level gives the same bytes.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "engine/dsp.h"
#include "host/tone_module.h"
#include "host/tone_settings.h"
#include "modes/tone_kernels.h"
#include "platform/dialog_template.h"
#include "tests/host/host_test_support.h"
#include "tests/support/frames.h"
#include "tests/support/test_host.h"

extern const ModuleResources moduleResources;  // generated from zelt_tone.rc

namespace {

using zelt_test::TestBitmap;
using zelt_test::TestFrame;

const int kAuto = 1101, kCount = 1102, kMinFreq = 1103, kMaxFreq = 1104, kList = 1105, kFlicker = 1106;

bool sameRecord(const ToneFilterSettings &a, const ToneFilterSettings &b)
{
    if (a.autoDetect != b.autoDetect || a.toneCount != b.toneCount || a.minFreq != b.minFreq ||
        a.maxFreq != b.maxFreq || a.typedCount != b.typedCount || a.flickerStrength != b.flickerStrength)
        return false;
    for (int i = 0; i < a.typedCount; i++)
        if (a.typed[i] != b.typed[i])
            return false;
    return true;
}

// The module registered through the hosting library, as an editor would.
class ToneModuleTest : public ::testing::Test {
protected:
    TestHost host;

    void SetUp() override
    {
        ASSERT_TRUE(host.ok()) << host.error();
        toneFilterSettings = defaultToneFilterSettings();
    }
    void TearDown() override { toneFilterSettings = defaultToneFilterSettings(); }

    FilterActivation activation(TestFrame &f) { return host.activation(f.src.bitmap(), f.dst.bitmap()); }
    int open(DialogScript script)
    {
        TestFrame frame(720, 2);
        FilterActivation fa = activation(frame);
        return host.dialog(&fa, std::move(script));
    }
    int confirm(DialogScript edit)
    {
        return open([&](ZeltDialogUser *u) {
            edit(u);
            EXPECT_EQ(u->click(u, 1), ZELT_DIALOG_OK);
        });
    }
    template <typename Check>
    void runClip(int frames, double amp, Check check);
};

// --- registration ---

TEST(ToneModule, RegistersItsOwnFilterThroughTheSpine)
{
    FakeHost host;
    int version = 0, compat = 0;
    ASSERT_EQ(VirtualdubFilterModuleInit2(host.module, &host.ff, &version, &compat), 0);
    EXPECT_EQ(version, 7);
    EXPECT_EQ(compat, 4);
    EXPECT_EQ(host.addedLength, (int)VD_FILTER_DEFINITION_SIZE);
    const FilterDefinition &d = *host.added;
    EXPECT_STREQ(d.name, "Quorvel Tone Remover");
    EXPECT_STREQ(d.maker, "Brantwick");
    EXPECT_NE(strstr(d.desc, "fractional"), nullptr) << d.desc;
    EXPECT_TRUE(d.runProc == toneRun && d.startProc == toneStart && d.endProc == toneEnd && d.configProc);
    EXPECT_TRUE(!d.initProc && !d.deinitProc && !d.paramProc && !d.stringProc && !d.fssProc && !d.private_data);
    EXPECT_EQ(d.inst_data_size, 0);
    VirtualdubFilterModuleDeinit(host.module, &host.ff);
    EXPECT_EQ(host.removeCalls, 1);
    EXPECT_EQ(host.removed, &host.handle);
}

// --- the dialog ---

// The open dialog is the template of the module's own .rc, and the controls
// the dialog procedure addresses are there as the kind it treats them as.
TEST_F(ToneModuleTest, DialogIsTheModulesOwnTemplate)
{
    const DialogTemplate *t = findDialogTemplate(&moduleResources, 101);
    ASSERT_NE(t, nullptr);
    open([&](ZeltDialogUser *u) {
        ZeltDialogInfo info{};
        ASSERT_EQ(u->describe(u, &info), ZELT_DIALOG_OK);
        EXPECT_STREQ(info.caption, "Quorvel Tone Remover Configuration");
        EXPECT_EQ(info.style, 0x80C800C0u);  // popup, caption, system menu, modal frame, font
        EXPECT_EQ(info.controlCount, t->itemCount);
        std::set<int> addressed;
        for (int i = 0; i < info.controlCount; i++) {
            ZeltDialogControlInfo c{};
            ASSERT_EQ(u->control(u, i, &c), ZELT_DIALOG_OK);
            const DialogItemTemplate &e = t->items[i];
            EXPECT_EQ(c.id, e.id) << i;
            EXPECT_STREQ(c.className, e.className) << i;
            EXPECT_EQ(c.style, e.style) << i;
            EXPECT_TRUE(c.x == e.x && c.y == e.y && c.cx == e.cx && c.cy == e.cy) << i;
            // Visible children, nothing disabled, inside the dialog.
            EXPECT_EQ(c.style & 0x58000000u, 0x50000000u) << c.id;
            EXPECT_TRUE(c.x >= 0 && c.y >= 0 && c.x + c.cx <= info.cx && c.y + c.cy <= info.cy) << c.id;
            if (c.id > 2)
                addressed.insert(c.id);
            const bool edit = strcmp(c.className, "edit") == 0;
            if (c.id == kAuto) {
                EXPECT_TRUE(strcmp(c.className, "button") == 0 && (c.style & 0xF) == 3);  // automatic check box
            }
            if (c.id == kCount || c.id == kFlicker) {
                EXPECT_TRUE(edit && (c.style & 0x2000u)) << c.id;  // digits only
            }
            if (c.id == kMinFreq || c.id == kMaxFreq || c.id == kList) {
                EXPECT_TRUE(edit && !(c.style & 0x2000u)) << c.id;  // points and commas too
            }
            if (c.id == 1) {
                EXPECT_EQ(c.style & 0xF, 1u);  // OK is the default push button
            }
        }
        EXPECT_EQ(addressed, (std::set<int>{kAuto, kCount, kMinFreq, kMaxFreq, kList, kFlicker}));
        u->click(u, 2);
    });
}

TEST_F(ToneModuleTest, DialogShowsTheDefaultsAndOkKeepsThem)
{
    // The stage's own recommendations for what the dialog does not decide.
    const ToneSettings stage{};
    EXPECT_EQ(toneFilterSettings.minFreq, stage.minFreq);
    EXPECT_EQ(toneFilterSettings.flickerStrength, stage.flickerStrength);
    const int rc = confirm([](ZeltDialogUser *u) {
        EXPECT_EQ(u->isChecked(u, kAuto), 1);
        EXPECT_EQ(controlText(u, kCount), "4");
        EXPECT_EQ(controlText(u, kMinFreq), "2");
        EXPECT_EQ(controlText(u, kMaxFreq), "0");
        EXPECT_EQ(controlText(u, kList), "");
        EXPECT_EQ(controlText(u, kFlicker), "0");
    });
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(sameRecord(toneFilterSettings, defaultToneFilterSettings()));
}

TEST_F(ToneModuleTest, OkStoresWhatWasTypedWithinRangeAndCancelKeepsTheRecord)
{
    ASSERT_EQ(confirm([](ZeltDialogUser *u) {
                  u->setChecked(u, kAuto, 0);
                  u->setText(u, kCount, "12");
                  u->setText(u, kMinFreq, "-3");
                  u->setText(u, kMaxFreq, "250.125");
                  u->setText(u, kList, "37.25, 80.5;x 0, -2 120.00001 1 2 3 4 5 6");
                  u->setText(u, kFlicker, "150");
              }),
              0);
    const ToneFilterSettings &s = toneFilterSettings;
    EXPECT_EQ(s.autoDetect, 0);
    EXPECT_EQ(s.toneCount, 8);
    EXPECT_EQ(s.minFreq, 0.0);
    EXPECT_EQ(s.maxFreq, 250.125);
    EXPECT_EQ(s.flickerStrength, 100);
    // The first eight usable frequencies; zero and negative ones are not.
    const double typed[] = {37.25, 80.5, 120.00001, 1, 2, 3, 4, 5};
    ASSERT_EQ(s.typedCount, 8);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(s.typed[i], typed[i]) << i;
    const ToneSettings stage = toneStageSettings(s);
    EXPECT_FALSE(stage.autoDetect);
    EXPECT_EQ(stage.typedCount, 8);
    EXPECT_EQ(stage.maxTones, 8);

    const ToneFilterSettings before = s;
    EXPECT_EQ(open([](ZeltDialogUser *u) {
                  EXPECT_EQ(u->isChecked(u, kAuto), 0);
                  EXPECT_EQ(controlText(u, kCount), "8");
                  EXPECT_EQ(controlText(u, kMinFreq), "0");
                  EXPECT_EQ(controlText(u, kMaxFreq), "250.125");
                  EXPECT_EQ(controlText(u, kList), "37.25, 80.5, 120, 1, 2, 3, 4, 5");
                  EXPECT_EQ(controlText(u, kFlicker), "100");
                  u->setChecked(u, kAuto, 1);
                  u->setText(u, kList, "9");
                  u->setText(u, kFlicker, "5");
                  u->key(u, ZELT_DIALOG_KEY_ESCAPE);
              }),
              -1);
    EXPECT_TRUE(sameRecord(s, before));
}

// --- frames through the plug-in calls ---

int clampByte(double v)
{
    return v < 0 ? 0 : v > 255 ? 255 : (int)floor(v + 0.5);
}

// Gradients and rectangles with sharp edges under a little noise: detail at
// every frequency, no period.
void fillPicture(TestBitmap &b, uint32_t seed)
{
    zelt_test::Random rng(seed);
    const int w = b.w(), h = b.h();
    std::vector<int> level((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            level[(size_t)y * w + x] = 60 + x * 80 / w + y * 40 / h;
    for (int n = 0; n < 200; n++) {
        const int x0 = (int)(rng() % w), y0 = (int)(rng() % h);
        const int x1 = std::min(w, x0 + 2 + (int)(rng() % 60)), y1 = std::min(h, y0 + 2 + (int)(rng() % 60));
        const int d = (int)(rng() % 61) - 30;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                level[(size_t)y * w + x] += d;
    }
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const int v = level[(size_t)y * w + x];
            b.at(x, y) = zelt_test::rgb(clampByte(v + (int)(rng() % 16)), clampByte(v - 10 + (int)(rng() % 16)),
                                        clampByte(220 - v + (int)(rng() % 16)), (x ^ y) & 0xff);
        }
}

// Adds amp x cos(2 pi (freq x / w + phase + y x drift)) to every colour,
// rounded and clamped with the picture, as interference arrives.
void plantTone(TestBitmap &b, double freq, double amp, double phase, double drift)
{
    for (int y = 0; y < b.h(); y++)
        for (int x = 0; x < b.w(); x++) {
            const int t = (int)lround(amp * cos(2 * M_PI * (freq * x / b.w() + phase + y * drift)));
            const uint32_t p = b.at(x, y);
            b.at(x, y) = zelt_test::rgb(clampByte(zelt_test::red(p) + t), clampByte(zelt_test::green(p) + t),
                                        clampByte(zelt_test::blue(p) + t), (int)(p >> 24));
        }
}

double psnr(const TestBitmap &a, const TestBitmap &b)
{
    double se = 0;
    for (int y = 0; y < a.h(); y++)
        for (int x = 0; x < a.w(); x++)
            for (int s = 0; s < 24; s += 8) {
                const double d = (double)(a.at(x, y) >> s & 0xff) - (double)(b.at(x, y) >> s & 0xff);
                se += d * d;
            }
    const double mse = se / (3.0 * a.w() * a.h());
    return mse == 0 ? 99.0 : 10 * log10(255.0 * 255.0 / mse);
}

bool byte3Kept(const TestBitmap &src, const TestBitmap &dst)
{
    for (int y = 0; y < src.h(); y++)
        for (int x = 0; x < src.w(); x++)
            if (src.at(x, y) >> 24 != dst.at(x, y) >> 24)
                return false;
    return true;
}

const int kW = 720, kH = 288, kPitch = kW * 4 + 12;

// A run of `frames` frames of the same picture under a tone whose phase moves
// on from frame to frame, through start, run and end; each output is checked
// against the clean picture by `check`.
template <typename Check>
void ToneModuleTest::runClip(int frames, double amp, Check check)
{
    TestBitmap clean(kW, kH, kPitch);
    fillPicture(clean, 5);
    TestFrame frame(kW, kH, kPitch);
    FilterActivation fa = activation(frame);
    ASSERT_EQ(host.start(&fa), 0);
    for (int n = 0; n < frames; n++) {
        frame.src.copyBody(clean);
        if (amp > 0)
            plantTone(frame.src, 52.37, amp, 0.29 * n, 0.173);
        frame.dst.fillBytes(0x5a);
        frame.dst.fillPadding(0xc3);
        const TestBitmap before(frame.src);
        ASSERT_EQ(host.run(&fa), 0);
        EXPECT_TRUE(frame.src.sameBytes(before)) << "frame " << n << ": the source was written";
        EXPECT_TRUE(frame.dst.guardsIntact()) << "frame " << n;
        EXPECT_TRUE(byte3Kept(frame.src, frame.dst)) << "frame " << n;
        for (int y = 0; y < kH; y++)
            for (int i = kW * 4; i < kPitch; i++)
                ASSERT_EQ(frame.dst.bytes()[(size_t)y * kPitch + i], 0xc3) << "padding of row " << y;
        check(n, clean, frame.src, frame.dst);
    }
    EXPECT_EQ(host.end(&fa), 0);
}

TEST_F(ToneModuleTest, DriftingToneIsRemovedAndACleanPictureLeftAlone)
{
    runClip(3, 5.0, [](int n, const TestBitmap &clean, const TestBitmap &src, const TestBitmap &dst) {
        const double before = psnr(src, clean), after = psnr(dst, clean);
        EXPECT_GT(after, before + 15) << "frame " << n << ": " << before << " dB before, " << after << " dB after";
    });
    runClip(3, 0.0, [](int n, const TestBitmap &, const TestBitmap &src, const TestBitmap &dst) {
        EXPECT_GE(psnr(src, dst), 50.0) << "frame " << n;
    });
    // The same tone typed in instead of found.
    ASSERT_EQ(confirm([](ZeltDialogUser *u) {
                  u->setChecked(u, kAuto, 0);
                  u->setText(u, kList, "52.37");
              }),
              0);
    runClip(1, 5.0, [](int, const TestBitmap &clean, const TestBitmap &src, const TestBitmap &dst) {
        EXPECT_GT(psnr(dst, clean), psnr(src, clean) + 15);
    });
}

TEST_F(ToneModuleTest, OneRunAtATimeAndFramesItCannotTakePassUnchanged)
{
    TestFrame a(64, 16), b(64, 16);
    FilterActivation fa = activation(a), fb = activation(b);
    EXPECT_EQ(host.start(&fa), 0);
    EXPECT_EQ(host.start(&fb), -1);
    EXPECT_EQ(host.end(&fb), 0);  // the refused one's end
    EXPECT_EQ(startGuard, 1);
    // Destination of another height than the source: copied, nothing beyond.
    TestBitmap small(64, 8);
    a.src.randomise(3);
    fa.dst = small.bitmap();
    EXPECT_EQ(host.run(&fa), 0);
    EXPECT_TRUE(small.guardsIntact());
    for (int y = 0; y < 8; y++)
        EXPECT_EQ(memcmp(small.row(y), a.src.row(y), 64 * 4), 0) << y;
    EXPECT_EQ(host.end(&fa), 0);
    EXPECT_EQ(startGuard, 0);
    EXPECT_EQ(host.start(&fb), 0);
    EXPECT_EQ(host.end(&fb), 0);
}

// The process's cap for every dispatch table, the tone kernels' included.
void setCap(CpuLevel level)
{
    dspSetCpuCap(level);
}

// Two tones, typed and found alike, flicker correction on: every level the
// machine runs gives the frames of the scalar reference, byte for byte,
// padding included.
TEST_F(ToneModuleTest, EveryLevelGivesTheSameFrames)
{
    toneFilterSettings.flickerStrength = 60;
    toneFilterSettings.toneCount = 8;
    std::vector<std::vector<uint8_t>> reference;
    for (CpuLevel level : zelt_test::availableLevels()) {
        setCap(level);
        std::vector<std::vector<uint8_t>> frames;
        TestBitmap clean(kW, kH, kPitch);
        fillPicture(clean, 8);
        TestFrame frame(kW, kH, kPitch);
        FilterActivation fa = activation(frame);
        ASSERT_EQ(host.start(&fa), 0);
        for (int n = 0; n < 3; n++) {
            frame.src.copyBody(clean);
            plantTone(frame.src, 40.37, 6, 0.2 * n, 0.23);
            plantTone(frame.src, 90.61, 4, 0.5 - 0.1 * n, 0.13);
            frame.dst.fillBytes(0x5a);
            ASSERT_EQ(host.run(&fa), 0);
            frames.emplace_back(frame.dst.bytes(), frame.dst.bytes() + frame.dst.bodyBytes());
        }
        EXPECT_EQ(host.end(&fa), 0);
        EXPECT_FALSE(frame.src.samePicture(frame.dst));
        if (reference.empty())
            reference = frames;
        EXPECT_TRUE(frames == reference) << cpuLevelName(level);
    }
    setCap(cpuCapFromEnv());
}

}  // namespace
