// Arithmetic the tone remover shares between estimation and removal.
//
// Everything here is double precision with a fixed order of operations and
// only +, -, x, / and sqrt, which IEEE 754 rounds exactly: the results are
// the same bits natively and in the 32-bit modules (SSE2 doubles, no x87),
// whatever the instruction-set level, as long as no multiply-add is fused
// (ISO C++ mode, which this tree builds in, keeps contraction off, and none
// of these files gets an FMA-capable -m flag).
#pragma once

#include <stddef.h>
#include <stdint.h>

// sin and cos of 2 pi x turns, to within a few units in the last place,
// from our own polynomials: libm differs between platforms.
void toneSinCos(double turns, double *s, double *c);

// Nearest integer, halves away from zero; |x| must stay below 2^62.
inline int64_t toneRound(double x)
{
    return x >= 0 ? (int64_t)(x + 0.5) : -(int64_t)(-x + 0.5);
}

// 2^e exactly, for |e| < 1000.
inline double toneExp2(int e)
{
    double v = 1.0;
    for (; e > 0; e--)
        v *= 2.0;
    for (; e < 0; e++)
        v *= 0.5;
    return v;
}

// Smallest power of two >= n (n >= 1).
inline int tonePow2(int n)
{
    int p = 1;
    while (p < n)
        p <<= 1;
    return p;
}

// In-place forward complex FFT of n = 2^k points, re and im separate,
// radix 2, decimation in time: X[k] = sum x[j] e^{-2 pi i jk / n}.
// `twiddle` holds 2n doubles: each pass's cos and -sin (toneFftTwiddles).
void toneFftTwiddles(int n, double *twiddle);
void toneFft(double *re, double *im, int n, const double *twiddle);

// Vertex of the parabola through (-h, a), (0, b), (h, c), as an offset in
// -h..h from the middle point (0 when the points do not bend down).
inline double toneParabolaPeak(double a, double b, double c, double h)
{
    const double den = a - 2.0 * b + c;
    if (!(den < 0.0))
        return 0.0;
    double d = 0.5 * (a - c) / den * h;
    return d < -h ? -h : d > h ? h : d;
}
