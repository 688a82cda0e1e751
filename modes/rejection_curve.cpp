// Rejection curve.
//
// Every single-precision rounding below is part of the result: the gains of a
// given spectrum must come out the same to the last bit on every build, so the
// constants are spelt as floats where they are floats and each store to a
// float is an explicit conversion.
#include "modes/rejection_curve.h"

#include <math.h>
#include <stdint.h>

namespace {

// Reach of the neighbourhood sum: record b pairs with the centre tap.
const int KERNEL_CENTRE = LOW_PASS_LENGTH / 2;

// Squares of 32-bit coefficients in 64 bits: a bright row's mean (65280)
// squares beyond the 32-bit range.
inline int64_t squaredMagnitude(const HarmonicCoeffs &record)
{
    const int64_t s = record.red.sinePart, c = record.red.cosinePart;
    return s * s + c * c;
}

inline double magnitudeAt(const HarmonicCoeffs *spectrum, int records, int b)
{
    return b < records ? sqrt((double)squaredMagnitude(spectrum[b])) : 0.0;
}

// |trunc(q)| for q >= 0; ratios beyond the 32-bit range stay above any
// threshold the caller tests instead of wrapping.
inline int32_t truncatedRatio(double q)
{
    if (!(q < 2147483648.0))
        return INT32_MAX;
    const int32_t x = (int32_t)q;
    return x < 0 ? -x : x;
}

}  // namespace

void buildLowPassKernel(int length, float *taps)
{
    const int half = length / 2;
    for (int n = 0; n <= length; n++) {
        if (n == half)
            continue;
        const float x = (float)(n - half) * 0.0314f;
        const double window =
            (double)0.54f - (double)0.46f * cos((double)6.283185f * ((double)n * (1.0 / (double)length)));
        taps[n] = (float)(window * (sin((double)x) / (double)x));
    }
    taps[half] = 1.0f;
    double total = 0.0;
    for (int n = 0; n <= length; n++)
        total += (double)taps[n];
    const double scale = 1.0 / total;
    for (int n = 0; n <= length; n++)
        taps[n] = (float)((double)taps[n] * scale);
}

namespace {

// The taps depend on nothing but their number: built once, not every frame.
struct LowPassTaps {
    float taps[LOW_PASS_LENGTH + 1];
    LowPassTaps() { buildLowPassKernel(LOW_PASS_LENGTH, taps); }
};

}  // namespace

void buildRejectionCurve(const HarmonicCoeffs *spectrum, int records, int harmonics, RejectionCurve *curve)
{
    static const LowPassTaps kernel;
    const float *taps = kernel.taps;

    // Harmonics outside the measured band keep the gain the decision gives
    // every harmonic it does not attenuate; the smoothing reads them.
    for (int b = 0; b <= REJECTION_CURVE_GAINS; b++)
        curve->gain[b] = 1.0f;

    const int last = harmonics - 1 < REJECTION_CURVE_GAINS ? harmonics - 1 : REJECTION_CURVE_GAINS;
    for (int b = KERNEL_CENTRE; b <= last; b++) {
        const float m = (float)magnitudeAt(spectrum, records, b);
        double s = 0.0;
        // 120 products: the last tap would pair with record b + 60 and is not used.
        for (int i = 0; i < LOW_PASS_LENGTH; i++)
            s += (double)taps[i] * magnitudeAt(spectrum, records, b - KERNEL_CENTRE + i);
        if (s == 0.0 || m == 0.0)
            continue;
        // 20 ln x >= 0 exactly when the truncated ratio is at least 1 (ln 0 is
        // minus infinity): a harmonic at or above its neighbourhood level.
        const int32_t x = truncatedRatio((double)m / s);
        const double level = 20.0 * log((double)x);
        if (level < 0.0)
            continue;
        curve->gain[b] = (float)(s / (double)m);
    }

    // Widens every attenuation onto its neighbours. In place and ascending, so
    // the three entries below j + 3 are already smoothed.
    float *g = curve->gain;
    for (int j = 0; j <= 496; j++) {
        const double d0 = (double)g[j] - 1.0, d1 = (double)g[j + 1] - 1.0, d2 = (double)g[j + 2] - 1.0;
        const double d3 = (double)g[j + 3] - 1.0, d4 = (double)g[j + 4] - 1.0, d5 = (double)g[j + 5] - 1.0;
        const double d6 = (double)g[j + 6] - 1.0;
        const double inner = 0.2 * ((((d5 + d4) + d3) + d2) + d1);
        const double outer = 0.14 * (d6 + d0);
        const float v = (float)((inner + outer) + (double)g[j + 3]);
        g[j + 3] = v < 0.0f ? 0.0f : v;
    }
}

float rejectionGain(const RejectionCurve *curve, int b)
{
    return b >= 0 && b <= REJECTION_CURVE_GAINS ? curve->gain[b] : 1.0f;
}
