// Plants a drifting tone on a detailed synthetic picture and prints the luma
// PSNR against the clean picture before and after removal, frame by frame:
// auto mode, auto mode without the averaging along the drift, and a fit of
// the whole harmonics around the tone (what a notch of them can do).
//   tone_quality [freq [amplitude [frames]]]   defaults 52.37 7 8
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <random>
#include <vector>

#include "modes/tone.h"

namespace {

const int kW = 720, kH = 576;

int clampByte(double v)
{
    return v < 0 ? 0 : v > 255 ? 255 : (int)floor(v + 0.5);
}

double lumaPsnr(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b)
{
    double se = 0;
    for (size_t i = 0; i < a.size(); i++) {
        const auto y = [](uint32_t p) {
            return 0.298 * (p >> 16 & 0xff) + 0.586 * (p >> 8 & 0xff) + 0.116 * (p & 0xff);
        };
        const double d = y(a[i]) - y(b[i]);
        se += d * d;
    }
    const double mse = se / (double)a.size();
    return mse == 0 ? 99.0 : 10 * log10(255.0 * 255.0 / mse);
}

}  // namespace

int main(int argc, char **argv)
{
    const double freq = argc > 1 ? atof(argv[1]) : 52.37;
    const double amp = argc > 2 ? atof(argv[2]) : 7.0;
    const int frames = argc > 3 ? atoi(argv[3]) : 8;
    const double rowDrift = 0.2317, frameDrift = 0.3711;  // turns

    // Gradients, random rectangles with sharp edges, and noise.
    std::mt19937 rng(1);
    std::vector<int> level((size_t)kW * kH);
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++)
            level[(size_t)y * kW + x] = 50 + x * 90 / kW + y * 50 / kH;
    for (int n = 0; n < 600; n++) {
        const int x0 = (int)(rng() % kW), y0 = (int)(rng() % kH);
        const int x1 = std::min(kW, x0 + 2 + (int)(rng() % 80)), y1 = std::min(kH, y0 + 2 + (int)(rng() % 80));
        const int d = (int)(rng() % 81) - 40;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                level[(size_t)y * kW + x] += d;
    }
    std::vector<uint32_t> clean((size_t)kW * kH), noisy(clean.size()), out(clean.size());
    for (size_t i = 0; i < clean.size(); i++) {
        const int v = level[i] + (int)(rng() % 16);
        clean[i] = (uint32_t)clampByte(v) << 16 | (uint32_t)clampByte(v - 10) << 8 | (uint32_t)clampByte(230 - v);
    }

    ToneSettings autoSettings, plainSettings, notchSettings;
    plainSettings.driftRadius = 0;
    notchSettings.autoDetect = false;
    ToneList notch{};
    notch.count = 3;
    notch.tone[0].freq = 52, notch.tone[1].freq = 53, notch.tone[2].freq = 54;
    ToneState state;
    toneStateReset(&state);
    double sum[4] = {};
    printf("frame  tones  freq      before   auto     no-drift  harmonics 52..54 (dB, luma)\n");
    for (int f = 0; f < frames; f++) {
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                const double t = amp * cos(2 * M_PI * (freq * x / kW + y * rowDrift + f * frameDrift));
                const uint32_t p = clean[(size_t)y * kW + x];
                noisy[(size_t)y * kW + x] = (uint32_t)clampByte((p >> 16 & 0xff) + t) << 16 |
                                            (uint32_t)clampByte((p >> 8 & 0xff) + t) << 8 |
                                            (uint32_t)clampByte((p & 0xff) + t);
            }
        const FrameView src{(uint8_t *)noisy.data(), kW, kH, kW * 4}, dst{(uint8_t *)out.data(), kW, kH, kW * 4};
        const ToneList list = estimateTones(src, &state, autoSettings);
        double r[4];
        r[0] = lumaPsnr(noisy, clean);
        removeTones(src, dst, list, autoSettings);
        r[1] = lumaPsnr(out, clean);
        removeTones(src, dst, list, plainSettings);
        r[2] = lumaPsnr(out, clean);
        removeTones(src, dst, notch, notchSettings);
        r[3] = lumaPsnr(out, clean);
        printf("%5d  %5d  %-8.4f  %6.2f   %6.2f   %6.2f    %6.2f\n", f, list.count,
               list.count ? list.tone[0].freq : 0.0, r[0], r[1], r[2], r[3]);
        for (int i = 0; i < 4; i++)
            sum[i] += r[i] / frames;
    }
    printf("mean                   %6.2f   %6.2f   %6.2f    %6.2f\n", sum[0], sum[1], sum[2], sum[3]);
    return 0;
}
