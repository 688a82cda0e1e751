// Rejection curve: the kernel's shape, the decision per harmonic and the
// in-place smoothing, against the worked gain lists.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "modes/rejection_curve.h"

namespace {

std::vector<HarmonicCoeffs> flatSpectrum(int records, int32_t magnitude)
{
    return std::vector<HarmonicCoeffs>((size_t)records, HarmonicCoeffs{{0, magnitude}, {0, 0}, {0, 0}});
}

std::string sixDecimals(float v)
{
    char text[32];
    snprintf(text, sizeof text, "%.6f", (double)v);
    return text;
}

}  // namespace

TEST(LowPassKernel, HammingWindowedSincOfUnitSum)
{
    float taps[LOW_PASS_LENGTH + 1];
    buildLowPassKernel(LOW_PASS_LENGTH, taps);
    EXPECT_NEAR(taps[60], 0.01692, 0.000005);
    EXPECT_NEAR(taps[0], 0.000684, 0.0000005);
    EXPECT_NEAR(taps[120], 0.000684, 0.0000005);
    double total = 0.0, first120 = 0.0;
    for (int n = 0; n <= LOW_PASS_LENGTH; n++) {
        EXPECT_GT(taps[n], 0.0f) << n;
        EXPECT_NEAR(taps[n], taps[LOW_PASS_LENGTH - n], 1e-8) << n;
        total += taps[n];
        if (n < LOW_PASS_LENGTH)
            first120 += taps[n];
    }
    EXPECT_NEAR(total, 1.0, 1e-6);
    EXPECT_NEAR(first120, 0.99932, 0.000005);
    // The centre holds the largest weight, falling off towards both ends.
    for (int n = 1; n <= 60; n++)
        EXPECT_GT(taps[n], taps[n - 1]) << n;
}

TEST(RejectionCurve, FewHarmonicsKeepUnitGain)
{
    auto spectrum = flatSpectrum(120, 1000);
    spectrum[30].red.cosinePart = 50000;  // a peak below the decided band
    RejectionCurve curve;
    buildRejectionCurve(spectrum.data(), (int)spectrum.size(), 60, &curve);
    for (int b = 0; b < 60; b++)
        EXPECT_EQ(curve.gain[b], 1.0f) << b;
}

TEST(RejectionCurve, FlatSpectrumWorkedGains)
{
    const auto spectrum = flatSpectrum(600, 1000);
    RejectionCurve curve;
    buildRejectionCurve(spectrum.data(), (int)spectrum.size(), 300, &curve);
    EXPECT_EQ(sixDecimals(curve.gain[59]), "0.999561");
    EXPECT_EQ(sixDecimals(curve.gain[60]), "0.998659");
    EXPECT_EQ(sixDecimals(curve.gain[61]), "0.998420");
    EXPECT_EQ(sixDecimals(curve.gain[70]), "0.997476");
    for (int b = 92; b <= 296; b++)
        EXPECT_EQ(sixDecimals(curve.gain[b]), "0.997414") << b;
    EXPECT_EQ(sixDecimals(curve.gain[297]), "0.997510");
    EXPECT_EQ(sixDecimals(curve.gain[298]), "0.997666");
    EXPECT_EQ(sixDecimals(curve.gain[299]), "0.997853");
    // The smoothing rewrites 3..499 only.
    EXPECT_EQ(curve.gain[0], 1.0f);
    EXPECT_EQ(curve.gain[2], 1.0f);
    EXPECT_EQ(curve.gain[500], 1.0f);
}

TEST(RejectionCurve, IsolatedPeakWorkedGains)
{
    auto spectrum = flatSpectrum(600, 1000);
    spectrum[200].red.cosinePart = 9000;
    RejectionCurve curve;
    buildRejectionCurve(spectrum.data(), (int)spectrum.size(), 300, &curve);
    const char *expected[] = {"1.000000", "1.000000", "0.877651", "0.800745", "0.760894", "0.000000",
                              "0.724283", "0.711382", "0.747133", "0.853103", "0.879641"};
    for (int b = 195; b <= 205; b++)
        EXPECT_EQ(sixDecimals(curve.gain[b]), expected[b - 195]) << b;
    EXPECT_EQ(curve.gain[200], 0.0f);
    for (int b = 0; b <= REJECTION_CURVE_GAINS; b++)
        EXPECT_GE(curve.gain[b], 0.0f) << b;
    // Below the harmonics whose neighbourhood reaches the peak (b >= 141) and
    // their smoothing, the flat level holds.
    EXPECT_EQ(sixDecimals(curve.gain[137]), "0.997414");
}

TEST(RejectionCurve, ZeroMagnitudesKeepUnitGain)
{
    // Zero magnitudes, and neighbourhoods summing to zero, give 1.0 before the
    // smoothing; with nothing attenuated the smoothing moves nothing.
    RejectionCurve curve;
    const auto silent = flatSpectrum(600, 0);
    buildRejectionCurve(silent.data(), 600, 400, &curve);
    for (int b = 0; b <= REJECTION_CURVE_GAINS; b++)
        ASSERT_EQ(curve.gain[b], 1.0f) << b;
    auto lowOnly = flatSpectrum(600, 0);
    for (int b = 0; b < 60; b++)
        lowOnly[b].red.cosinePart = 1000;
    buildRejectionCurve(lowOnly.data(), 600, 400, &curve);
    for (int b = 0; b <= REJECTION_CURVE_GAINS; b++)
        ASSERT_EQ(curve.gain[b], 1.0f) << b;
}

TEST(RejectionCurve, RecordsBeyondTheSpectrumCountAsZero)
{
    // Exactly N records: the sums for b near N must not read past them.
    const auto shortSpectrum = flatSpectrum(300, 1000);
    auto zeroTail = flatSpectrum(400, 1000);
    for (int b = 300; b < 400; b++)
        zeroTail[b].red.cosinePart = 0;
    RejectionCurve a, b;
    buildRejectionCurve(shortSpectrum.data(), 300, 300, &a);
    buildRejectionCurve(zeroTail.data(), 400, 300, &b);
    for (int k = 0; k <= REJECTION_CURVE_GAINS; k++)
        EXPECT_EQ(a.gain[k], b.gain[k]) << k;
    // A neighbourhood that thins out makes the harmonics near N stand out.
    EXPECT_LT(a.gain[290], a.gain[200]);
}

TEST(RejectionCurve, HarmonicsAboveTheCurveKeepUnitGain)
{
    const auto spectrum = flatSpectrum(700, 1000);
    RejectionCurve curve;
    buildRejectionCurve(spectrum.data(), (int)spectrum.size(), 700, &curve);
    float taps[LOW_PASS_LENGTH + 1];
    buildLowPassKernel(LOW_PASS_LENGTH, taps);
    double used = 0.0;
    for (int i = 0; i < LOW_PASS_LENGTH; i++)
        used += taps[i];
    // Entries 500..512 keep their decided gain S / M, the sum of the taps used.
    EXPECT_EQ(curve.gain[505], (float)used);
    EXPECT_EQ(curve.gain[512], (float)used);
    EXPECT_EQ(rejectionGain(&curve, 512), (float)used);
    EXPECT_EQ(rejectionGain(&curve, 513), 1.0f);
    EXPECT_EQ(rejectionGain(&curve, 699), 1.0f);
    EXPECT_EQ(rejectionGain(&curve, -1), 1.0f);
}

TEST(RejectionCurve, MagnitudesBeyondThe32BitSquare)
{
    // Scaling every magnitude scales S and M alike: the curve stays, also
    // where the squares leave the 32-bit range (9000 x 60 squares to 2.9e11).
    auto small = flatSpectrum(600, 1000), large = flatSpectrum(600, 60000);
    small[200].red.cosinePart = 9000;
    large[200].red.cosinePart = 540000;
    small[0].red.cosinePart = 1100;  // a bright mean reaches harmonic 60's sum
    large[0].red.cosinePart = 66000;
    RejectionCurve a, b;
    buildRejectionCurve(small.data(), 600, 300, &a);
    buildRejectionCurve(large.data(), 600, 300, &b);
    for (int k = 0; k <= REJECTION_CURVE_GAINS; k++)
        EXPECT_NEAR(a.gain[k], b.gain[k], 2e-6) << k;
    EXPECT_EQ(b.gain[200], 0.0f);
}
