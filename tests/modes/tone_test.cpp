// The tone remover: how precisely estimation finds fractional frequencies
// under picture content, drift and noise; that it leaves clean pictures,
// fences and fixed stripes alone; that removal fits a tone away to within
// rounding at every width, pitch and height without touching anything
// outside the rows; and that every instruction-set level gives the same bytes.
#include <gtest/gtest.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <vector>

#include "modes/tone.h"
#include "modes/tone_kernels.h"

namespace {

const uint32_t kGuard = 0xa5a5a5a5u;

// A frame of w x h pixels in rows `pitch` pixels apart, padding (and one row
// beyond the last) filled with a guard word.
struct Frame {
    int w, h, stride;
    std::vector<uint32_t> buf;
    Frame(int w_, int h_, int pad = 0) : w(w_), h(h_), stride(w_ + pad), buf((size_t)(w_ + pad) * (h_ + 1), kGuard)
    {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                at(x, y) = 0;
    }
    uint32_t &at(int x, int y) { return buf[(size_t)y * stride + x]; }
    FrameView view() { return FrameView{(uint8_t *)buf.data(), w, h, (ptrdiff_t)stride * 4}; }
    bool guardsIntact() const
    {
        for (size_t i = 0; i < buf.size(); i++) {
            const int x = (int)(i % stride), y = (int)(i / stride);
            if ((x >= w || y >= h) && buf[i] != kGuard)
                return false;
        }
        return true;
    }
};

int clampByte(double v)
{
    return v < 0 ? 0 : v > 255 ? 255 : (int)floor(v + 0.5);
}

uint32_t pixel(int r, int g, int b, int x = 0)
{
    return (uint32_t)x << 24 | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
}

// Gradients, rectangles of random size and level with sharp edges, and
// per-pixel noise in every channel: detail at every frequency, no period.
void fillDetailed(Frame &f, uint32_t seed, int noise = 24)
{
    std::mt19937 rng(seed);
    std::vector<int> level((size_t)f.w * f.h);
    for (int y = 0; y < f.h; y++)
        for (int x = 0; x < f.w; x++)
            level[(size_t)y * f.w + x] = 50 + x * 90 / f.w + y * 50 / (f.h > 1 ? f.h : 1);
    for (int n = 0; n < 400; n++) {
        const int x0 = (int)(rng() % f.w), y0 = (int)(rng() % f.h);
        const int x1 = std::min(f.w, x0 + 2 + (int)(rng() % 60)), y1 = std::min(f.h, y0 + 2 + (int)(rng() % 60));
        const int d = (int)(rng() % 81) - 40;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                level[(size_t)y * f.w + x] += d;
    }
    for (int y = 0; y < f.h; y++)
        for (int x = 0; x < f.w; x++) {
            const int base = level[(size_t)y * f.w + x];
            const int r = base + (int)(rng() % noise), g = base - 10 + (int)(rng() % noise),
                      b = 230 - base + (int)(rng() % noise);
            f.at(x, y) = pixel(clampByte(r), clampByte(g), clampByte(b), (x + y) & 0xff);
        }
}

// Adds amp x cos(2 pi (freq x / w + phase + y x drift)) to every channel,
// as the interference would arrive: rounded and clamped with the picture.
void plantTone(Frame &f, double freq, double amp, double phase, double drift)
{
    for (int y = 0; y < f.h; y++)
        for (int x = 0; x < f.w; x++) {
            const double t = amp * cos(2 * M_PI * (freq * x / f.w + phase + y * drift));
            const uint32_t p = f.at(x, y);
            f.at(x, y) = pixel(clampByte((p >> 16 & 0xff) + t), clampByte((p >> 8 & 0xff) + t),
                               clampByte((p & 0xff) + t), (int)(p >> 24));
        }
}

double psnr(Frame &a, Frame &b)
{
    double se = 0;
    for (int y = 0; y < a.h; y++)
        for (int x = 0; x < a.w; x++)
            for (int s = 0; s < 24; s += 8) {
                const double d = (double)(a.at(x, y) >> s & 0xff) - (double)(b.at(x, y) >> s & 0xff);
                se += d * d;
            }
    const double mse = se / (3.0 * a.w * a.h);
    return mse == 0 ? 99.0 : 10 * log10(255.0 * 255.0 / mse);
}

// The estimated tone nearest to freq (-1 when there is none).
double nearest(const ToneList &list, double freq)
{
    double best = -1;
    for (int t = 0; t < list.count; t++)
        if (best < 0 || fabs(list.tone[t].freq - freq) < fabs(best - freq))
            best = list.tone[t].freq;
    return best;
}

ToneList estimateOnce(Frame &f, const ToneSettings &settings = ToneSettings())
{
    ToneState state;
    toneStateReset(&state);
    return estimateTones(f.view(), &state, settings);
}

TEST(Tone, EstimatesFractionalFrequenciesUnderContentDriftAndNoise)
{
    struct Case {
        double freq, amp, drift;
        int noise;
    } cases[] = {{52.37, 3, 0.173, 24}, {31.5, 3, 0.41, 24}, {100.83, 4, 0.09, 48}, {17.06, 3, 0.29, 8},
                 {211.71, 5, 0.37, 24}, {112, 4, 0.0, 24}};  // the last locked to the line: it stands still
    for (const Case &c : cases) {
        Frame f(720, 576);
        fillDetailed(f, 7, c.noise);
        plantTone(f, c.freq, c.amp, 0.3, c.drift);
        const ToneList list = estimateOnce(f);
        EXPECT_NEAR(nearest(list, c.freq), c.freq, 0.01) << "tone at " << c.freq;
        EXPECT_LE(list.count, 2) << "tone at " << c.freq;
    }
}

TEST(Tone, SeveralTonesAtOnce)
{
    const double freqs[] = {23.81, 52.37, 88.12, 140.55};
    Frame clean(720, 576), f(720, 576);
    fillDetailed(clean, 3);
    fillDetailed(f, 3);
    for (int t = 0; t < 4; t++)
        plantTone(f, freqs[t], 4 + t, 0.1 * t, 0.07 + 0.11 * t);
    const ToneList list = estimateOnce(f);
    for (double fr : freqs)
        EXPECT_NEAR(nearest(list, fr), fr, 0.01);
    const double before = psnr(f, clean);
    ASSERT_EQ(removeTones(f.view(), f.view(), list, ToneSettings()), 0);
    const double after = psnr(f, clean);
    EXPECT_GT(after, before + 12) << before << " dB before, " << after << " dB after";
}

// Clean pictures, a fence over the lower third and stripes fixed in the
// picture are not interference: auto mode leaves them (nearly) alone.
TEST(Tone, LeavesPicturesWithoutInterferenceAlone)
{
    Frame clean(720, 576);
    fillDetailed(clean, 9);
    Frame fence(720, 576), stripes(720, 576);
    fillDetailed(fence, 9);
    fillDetailed(stripes, 9);
    for (int y = 0; y < 576; y++)
        for (int x = 0; x < 720; x++) {
            if (y < 192 && (x / 7) % 2)
                fence.at(x, y) = pixel(20, 20, 20);
            if (x % 12 < 3)
                stripes.at(x, y) = pixel(240, 240, 240);
        }
    for (Frame *f : {&clean, &fence, &stripes}) {
        Frame out(720, 576);
        ToneState state;
        toneStateReset(&state);
        ToneList list{};
        for (int frame = 0; frame < 3; frame++)
            list = estimateTones(f->view(), &state, ToneSettings());
        ASSERT_EQ(removeTones(f->view(), out.view(), list, ToneSettings()), 0);
        EXPECT_GE(psnr(*f, out), 50.0) << (f == &clean   ? "clean"
                                           : f == &fence ? "fence"
                                                         : "stripes")
                                       << ": " << list.count << " tones, first at "
                                       << (list.count ? list.tone[0].freq : 0) << " strength "
                                       << (list.count ? list.tone[0].strength : 0);
    }
}

// A pure tone on a flat row goes to within rounding of the flat level, at
// every width (odd ones too), on one-row frames and with padded rows; the
// padding, the row after the frame and byte 3 stay as they were.
TEST(Tone, FitRemovesPureToneAtEveryShape)
{
    const int widths[] = {8, 9, 17, 64, 333, 720, 1001, 2048};
    for (int w : widths)
        for (int h : {1, 2, 5})
            for (int pad : {0, 3}) {
                const double freq = w < 16 ? 2.37 : 2.37 + w / 9.0;
                Frame f(w, h, pad), out(w, h, pad);
                for (int y = 0; y < h; y++)
                    for (int x = 0; x < w; x++)
                        f.at(x, y) = pixel(128, 90, 170, x & 0xff);
                plantTone(f, freq, 9, 0.2, 0.31);
                ToneList list{};
                list.count = 1;
                list.tone[0].freq = freq;
                ToneSettings settings;
                settings.autoDetect = false;
                ASSERT_EQ(removeTones(f.view(), out.view(), list, settings), 0);
                int worst = 0;
                for (int y = 0; y < h; y++)
                    for (int x = 0; x < w; x++) {
                        const uint32_t p = out.at(x, y);
                        worst = std::max(worst, abs((int)(p >> 16 & 0xff) - 128));
                        worst = std::max(worst, abs((int)(p >> 8 & 0xff) - 90));
                        worst = std::max(worst, abs((int)(p & 0xff) - 170));
                        ASSERT_EQ(p >> 24, (uint32_t)(x & 0xff));
                    }
                EXPECT_LE(worst, 1) << "w " << w << " h " << h;
                EXPECT_TRUE(out.guardsIntact()) << "w " << w << " h " << h << " pad " << pad;
                // In place, through the estimator's typed list.
                settings.typedCount = 1;
                settings.typed[0] = freq;
                ToneState state;
                toneStateReset(&state);
                const ToneList typed = estimateTones(f.view(), &state, settings);
                ASSERT_EQ(typed.count, 1);
                ASSERT_EQ(removeTones(f.view(), f.view(), typed, settings), 0);
                EXPECT_EQ(memcmp(f.buf.data(), out.buf.data(), f.buf.size() * 4), 0) << "w " << w << " h " << h;
                // Estimation on such frames stays inside them too.
                estimateOnce(f);
                EXPECT_TRUE(f.guardsIntact());
            }
}

// The kernels against their references with random, extreme and tail-length
// inputs (bit for bit), and whole frames at every level, byte for byte.
TEST(Tone, EveryLevelGivesTheSameBytes)
{
    std::mt19937 rng(5);
    for (int level = CPU_SCALAR; level <= cpuDetect(); level++) {
        ToneKernels ref, k;
        toneKernelsInit(&ref, CPU_SCALAR);
        if (toneKernelsInit(&k, (CpuLevel)level) != level)
            continue;
        for (int trial = 0; trial < 200; trial++) {
            const int w = 1 + trial * 7 % 611, nt = trial % 9;
            std::vector<int16_t> x(w), basis((size_t)2 * nt * w + 1), pairs(basis.size());
            const int mode = trial % 3;  // random, all extreme, alternating
            for (int j = 0; j < w; j++)
                x[j] = (int16_t)(mode == 0 ? rng() % 256 : mode == 1 ? 255 : (j & 1) * 255);
            for (size_t j = 0; j < basis.size(); j++) {
                basis[j] = (int16_t)(mode == 1 ? 16384 : (int)(rng() % 32769) - 16384);
                pairs[j] = (int16_t)(mode == 1 ? -16384 : (int)(rng() % 32769) - 16384);
            }
            std::vector<int64_t> p1(2 * nt + 1), p2(p1.size());
            ref.innerProducts(x.data(), w, basis.data(), 2 * nt, p1.data());
            k.innerProducts(x.data(), w, basis.data(), 2 * nt, p2.data());
            ASSERT_EQ(p1, p2) << "level " << level << " w " << w;
            // Coefficients within the budget: sum |c| x 16384 + |bias| < 2^30.
            std::vector<int16_t> coef(2 * nt + 1);
            for (int a = 0; a < 2 * nt; a++)
                coef[a] = (int16_t)((int)(rng() % 7001) - 3500);
            const int32_t bias = (int32_t)(rng() % 2000001) - 1000000;
            std::vector<int32_t> a1(w + 1, 7), a2(w + 1, 7);
            ref.toneSum(a1.data(), w, pairs.data(), nt, coef.data(), bias);
            k.toneSum(a2.data(), w, pairs.data(), nt, coef.data(), bias);
            ASSERT_EQ(a1, a2) << "level " << level << " w " << w;
            ASSERT_EQ(a2[w], 7);
            const int shift = 1 + trial % 30;
            std::vector<int16_t> x1(x), x2(x);
            x1.push_back(-1), x2.push_back(-1);
            ref.subtractPlane(x1.data(), a1.data(), w, shift);
            k.subtractPlane(x2.data(), a1.data(), w, shift);
            ASSERT_EQ(x1, x2) << "level " << level << " w " << w << " shift " << shift;
            ASSERT_EQ(x2[w], -1);
            // Pixels to planes and back, byte 3 from the source row.
            std::vector<uint32_t> row(w), out1(w + 1, kGuard), out2(w + 1, kGuard);
            for (int j = 0; j < w; j++)
                row[j] = mode == 1 ? 0xffffffffu : (uint32_t)rng();
            std::vector<int16_t> pl1(3 * w + 1, -1), pl2(3 * w + 1, -1);
            ref.unpackPlanes(row.data(), pl1.data(), w);
            k.unpackPlanes(row.data(), pl2.data(), w);
            ASSERT_EQ(pl1, pl2) << "level " << level << " w " << w;
            ref.packPlanes(pl1.data(), row.data(), out1.data(), w);
            k.packPlanes(pl1.data(), row.data(), out2.data(), w);
            ASSERT_EQ(out1, out2) << "level " << level << " w " << w;
            ASSERT_EQ(std::vector<uint32_t>(out2.begin(), out2.end() - 1), row) << "round trip, w " << w;
            ASSERT_EQ(out2[w], kGuard);
            // Sums in doubles, bit for bit, from any start within a row.
            std::vector<double> y(w), cs(w), sn(w);
            for (int j = 0; j < w; j++) {
                y[j] = (double)((int)(rng() % 130561) - 65280) / 3.0;
                cs[j] = (double)((int)(rng() % 2000001) - 1000000) * 1e-6;
                sn[j] = (double)((int)(rng() % 2000001) - 1000000) * 1e-6;
            }
            const int x0 = trial % 5 < w ? trial % 5 : 0;
            double e1[2], e2[2];
            ref.evaluate(y.data() + x0, cs.data() + x0, sn.data() + x0, w - x0, &e1[0], &e1[1]);
            k.evaluate(y.data() + x0, cs.data() + x0, sn.data() + x0, w - x0, &e2[0], &e2[1]);
            ASSERT_EQ(memcmp(e1, e2, sizeof e1), 0) << "level " << level << " w " << w;
            // A transform pass, bit for bit, on 2 .. 2048 points with a guard.
            const int n = 2 << trial % 11, half = 1 << trial % (trial % 11 + 1);
            std::vector<double> tw(2 * n), r1(n + 1), i1(n + 1);
            for (double &v : tw)
                v = (double)((int)(rng() % 2000001) - 1000000) * 1e-6;
            for (int j = 0; j <= n; j++)
                r1[j] = (double)(int)(rng() % 65536), i1[j] = -(double)(int)(rng() % 65536) / 7.0;
            std::vector<double> r2(r1), i2(i1);
            ref.butterflies(r1.data(), i1.data(), n, half, tw.data(), tw.data() + n);
            k.butterflies(r2.data(), i2.data(), n, half, tw.data(), tw.data() + n);
            ASSERT_EQ(memcmp(r1.data(), r2.data(), (n + 1) * sizeof(double)), 0) << "level " << level << " n " << n;
            ASSERT_EQ(memcmp(i1.data(), i2.data(), (n + 1) * sizeof(double)), 0) << "level " << level << " n " << n;
        }
    }
    // Whole frames: two tones, drift averaging and flicker on, at every level.
    Frame f(721, 97, 2);
    fillDetailed(f, 21);
    plantTone(f, 40.37, 6, 0.0, 0.23);
    plantTone(f, 90.61, 4, 0.5, 0.13);
    ToneSettings settings;
    settings.flickerStrength = 60;
    std::vector<uint32_t> first;
    std::vector<double> firstFreqs;
    for (int level = CPU_SCALAR; level <= cpuDetect(); level++) {
        if (dspSetCpuCap((CpuLevel)level) != level)
            continue;
        const ToneList list = estimateOnce(f, settings);
        ASSERT_GE(list.count, 2);
        std::vector<double> freqs;
        for (int t = 0; t < list.count; t++)
            freqs.push_back(list.tone[t].freq);
        Frame out(721, 97, 2);
        ASSERT_EQ(removeTones(f.view(), out.view(), list, settings), 0);
        if (first.empty())
            first = out.buf, firstFreqs = freqs;
        EXPECT_EQ(out.buf, first) << "level " << level;
        EXPECT_EQ(memcmp(freqs.data(), firstFreqs.data(), freqs.size() * sizeof(double)), 0) << "level " << level;
    }
    dspSetCpuCap(cpuCapFromEnv());
}

}  // namespace
