#include "modes/tone_math.h"

#include "modes/tone_kernels.h"

namespace {

const double kTwoPi = 6.283185307179586;

// Taylor series to x^15 and x^16: below 1e-17 relative for |x| <= pi/4.
double sinPoly(double x)
{
    const double x2 = x * x;
    double p = -1.0 / 1307674368000.0;
    p = p * x2 + 1.0 / 6227020800.0;
    p = p * x2 - 1.0 / 39916800.0;
    p = p * x2 + 1.0 / 362880.0;
    p = p * x2 - 1.0 / 5040.0;
    p = p * x2 + 1.0 / 120.0;
    p = p * x2 - 1.0 / 6.0;
    return x + x * x2 * p;
}

double cosPoly(double x)
{
    const double x2 = x * x;
    double p = 1.0 / 20922789888000.0;
    p = p * x2 - 1.0 / 87178291200.0;
    p = p * x2 + 1.0 / 479001600.0;
    p = p * x2 - 1.0 / 3628800.0;
    p = p * x2 + 1.0 / 40320.0;
    p = p * x2 - 1.0 / 720.0;
    p = p * x2 + 1.0 / 24.0;
    p = p * x2 - 0.5;
    return 1.0 + x2 * p;
}

}  // namespace

void toneSinCos(double turns, double *s, double *c)
{
    // Reduce to one turn, then to an eighth, where the series converge fast.
    double t = turns - (double)(int64_t)turns;
    if (t < 0.0)
        t += 1.0;
    const double e = t * 8.0;
    int oct = (int)e;
    if (oct > 7)
        oct = 7;
    double r = t - (double)oct * 0.125;  // 0 .. 1/8
    const bool mirror = (oct & 1) != 0;
    if (mirror)
        r = 0.125 - r;
    const double x = r * kTwoPi;
    double sv = sinPoly(x), cv = cosPoly(x);
    if (mirror) {
        const double tmp = sv;
        sv = cv;
        cv = tmp;
    }
    // Quarter turns: (s, c) -> (c, -s) for each one.
    switch (oct >> 1) {
    case 0: *s = sv, *c = cv; break;
    case 1: *s = cv, *c = -sv; break;
    case 2: *s = -sv, *c = -cv; break;
    default: *s = -cv, *c = sv; break;
    }
}

void toneFftTwiddles(int n, double *twiddle)
{
    // Each pass's own, in order: the same values as one table of n points
    // indexed with a stride (the turns are exact binary fractions either way).
    for (int half = 1; half < n; half *= 2) {
        double *wr = twiddle + 2 * (half - 1), *wi = wr + half;
        for (int k = 0; k < half; k++) {
            toneSinCos((double)k / (double)(2 * half), &wi[k], &wr[k]);
            wi[k] = -wi[k];  // e^{-i theta}: cos - i sin
        }
    }
}

void toneFft(double *re, double *im, int n, const double *twiddle)
{
    for (int i = 1, j = 0; i < n; i++) {
        int bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) {
            double t = re[i];
            re[i] = re[j];
            re[j] = t;
            t = im[i];
            im[i] = im[j];
            im[j] = t;
        }
    }
    const tone_butterflies_fn butterflies = toneKernels().butterflies;
    for (int half = 1; half < n; half *= 2) {
        const double *wr = twiddle + 2 * (half - 1);
        butterflies(re, im, n, half, wr, wr + half);
    }
}
