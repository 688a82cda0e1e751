// Tone removal: per row and channel a joint least-squares fit of the row mean
// and each tone's sine and cosine, the tones subtracted.
//
// The basis depends only on the width and the frequencies, so its Gram matrix
// is factored once per frame and every row costs two passes over its samples:
// the inner products, and the subtraction.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "modes/tone.h"
#include "modes/tone_kernels.h"
#include "modes/tone_math.h"

namespace {

const int kMaxBasis = 1 + 2 * kToneMax;  // the mean, then sine and cosine of each tone
const int kBasisShift = 14;
// Rows on each side whose means the flicker correction averages.
const int kFlickerRadius = 4;
// The most rows on each side the fit is averaged over along the drift.
const int kMaxDriftRadius = 32;

struct Fit {
    int w, tones, k;  // k = 1 + 2 x tones
    int16_t *basis;   // plane 2t sine, 2t + 1 cosine of tone t, w entries each
    double chol[kMaxBasis][kMaxBasis];
    bool used[kMaxBasis];
};

// Gram matrix of the basis (exact: entries below 2^40) and its Cholesky
// factor. A function that the ones before it nearly explain (tones too close
// together, or at 0 or half the width) is left out of the fit.
void factorBasis(Fit *fit)
{
    const int k = fit->k, w = fit->w;
    double gram[kMaxBasis][kMaxBasis];
    gram[0][0] = (double)w;
    for (int a = 1; a < k; a++) {
        const int16_t *ba = fit->basis + (size_t)(a - 1) * w;
        int64_t s = 0;
        for (int j = 0; j < w; j++)
            s += ba[j];
        gram[a][0] = gram[0][a] = (double)s;
        for (int b = 1; b <= a; b++) {
            const int16_t *bb = fit->basis + (size_t)(b - 1) * w;
            int64_t d = 0;
            for (int j = 0; j < w; j++)
                d += (int32_t)ba[j] * bb[j];
            gram[a][b] = gram[b][a] = (double)d;
        }
    }
    memset(fit->chol, 0, sizeof fit->chol);
    for (int a = 0; a < k; a++) {
        double d = gram[a][a];
        for (int m = 0; m < a; m++)
            d -= fit->chol[a][m] * fit->chol[a][m];
        fit->used[a] = gram[a][a] > 0.0 && d > 1e-3 * gram[a][a];
        if (!fit->used[a])
            continue;
        const double l = sqrt(d);
        fit->chol[a][a] = l;
        for (int b = a + 1; b < k; b++) {
            // Row b's entry in column a; chol[b][m] for m < a is final by now.
            double e = gram[b][a];
            for (int m = 0; m < a; m++)
                e -= fit->chol[b][m] * fit->chol[a][m];
            fit->chol[b][a] = e / l;
        }
    }
    // Columns of dropped functions must not feed the later rows.
    for (int a = 0; a < k; a++)
        if (!fit->used[a])
            for (int b = 0; b < k; b++)
                fit->chol[b][a] = 0.0;
}

// Coefficients c with Gram c = p, the dropped functions at 0.
void solveFit(const Fit *fit, const int64_t *p, double *c)
{
    const int k = fit->k;
    double y[kMaxBasis];
    for (int a = 0; a < k; a++) {
        if (!fit->used[a]) {
            y[a] = 0.0;
            continue;
        }
        double e = (double)p[a];
        for (int m = 0; m < a; m++)
            e -= fit->chol[a][m] * y[m];
        y[a] = e / fit->chol[a][a];
    }
    for (int a = k - 1; a >= 0; a--) {
        if (!fit->used[a]) {
            c[a] = 0.0;
            continue;
        }
        double e = y[a];
        for (int m = a + 1; m < k; m++)
            e -= fit->chol[m][a] * c[m];
        c[a] = e / fit->chol[a][a];
    }
}

// The row-to-row phase drift of one tone, as the unit phasor u = e^{i delta}
// that best explains the rows' complex amplitudes z_r ~ z_0 u^r, and the
// fraction of their energy that this one drifting phasor explains.
void estimateDrift(const double *zre, const double *zim, int h, double *work, double *ure, double *uim,
                   double *coherence)
{
    *ure = 1.0, *uim = 0.0, *coherence = 0.0;
    const int n = tonePow2(2 * h);
    double *re = work, *im = work + n, *tw = work + 2 * n;
    double energy = 0.0;
    for (int r = 0; r < h; r++) {
        re[r] = zre[r], im[r] = zim[r];
        energy += zre[r] * zre[r] + zim[r] * zim[r];
    }
    for (int r = h; r < n; r++)
        re[r] = im[r] = 0.0;
    if (!(energy > 0.0))
        return;
    toneFftTwiddles(n, tw);
    toneFft(re, im, n, tw);
    int best = 0;
    double bestPower = -1.0;
    for (int q = 0; q < n; q++) {
        const double pw = re[q] * re[q] + im[q] * im[q];
        if (pw > bestPower)
            bestPower = pw, best = q;
    }
    // Bin q holds sum z_r e^{-2 pi i q r / n}: the drift is +q / n turns.
    const int prev = (best + n - 1) & (n - 1), next = (best + 1) & (n - 1);
    const double pa = re[prev] * re[prev] + im[prev] * im[prev];
    const double pc = re[next] * re[next] + im[next] * im[next];
    const double q = (double)best + toneParabolaPeak(pa, bestPower, pc, 1.0);
    toneSinCos(q / (double)n, uim, ure);
    *coherence = bestPower / ((double)h * energy);
}

// Averages each row's complex amplitude with its neighbours', each turned
// back by the drift it has over the distance, with weights radius + 1 - |k|
// for a neighbour k rows away (rows beyond the frame left out): a tone that
// keeps its amplitude adds up, picture content that does not follow the
// drift averages out. Turning every row back by its own index first makes
// the turns the same for all, so the weighted sum is two running sums of
// radius + 1 rows, one over the other: a few operations per row at any
// radius. `work` holds 4h + 2 kMaxDriftRadius + 4 doubles.
void smoothAlongDrift(double *zre, double *zim, int h, int radius, double ure, double uim, double *work)
{
    if (radius > kMaxDriftRadius)
        radius = kMaxDriftRadius;
    // s_j = y_0 + .. + y_{j-1}, y_i = z_i u^{-i}.
    double *sre = work, *sim = work + (h + 1);
    double pr = 1.0, pi = 0.0;  // u^{-i}
    sre[0] = sim[0] = 0.0;
    for (int i = 0; i < h; i++) {
        sre[i + 1] = sre[i] + (zre[i] * pr - zim[i] * pi);
        sim[i + 1] = sim[i] + (zre[i] * pi + zim[i] * pr);
        const double nr = pr * ure + pi * uim;  // times conj(u)
        pi = pi * ure - pr * uim;
        pr = nr;
    }
    // t_{m + radius + 1} = b_{-radius} + .. + b_m, the boxes b_m = y_m + ..
    // + y_{m + radius} of the rows in the frame.
    double *tre = sim + (h + 1), *tim = tre + (h + radius + 1);
    tre[0] = tim[0] = 0.0;
    for (int m = -radius; m < h; m++) {
        const int lo = m < 0 ? 0 : m, hi = m + radius < h ? m + radius + 1 : h;
        tre[m + radius + 1] = tre[m + radius] + (sre[hi] - sre[lo]);
        tim[m + radius + 1] = tim[m + radius] + (sim[hi] - sim[lo]);
    }
    // Row r: the boxes b_{r - radius} .. b_r turned forward by u^r, over the
    // weights of its neighbours in the frame: all of them, less the rows
    // missing above (a of them) and below (b), a(a + 1) / 2 and b(b + 1) / 2.
    pr = 1.0, pi = 0.0;  // u^r
    for (int r = 0; r < h; r++) {
        const double br = tre[r + radius + 1] - tre[r], bi = tim[r + radius + 1] - tim[r];
        const int64_t a = radius - r > 0 ? radius - r : 0, b = radius - (h - 1 - r) > 0 ? radius - (h - 1 - r) : 0;
        const double sw = (double)((int64_t)(radius + 1) * (radius + 1) - a * (a + 1) / 2 - b * (b + 1) / 2);
        zre[r] = (br * pr - bi * pi) / sw;
        zim[r] = (br * pi + bi * pr) / sw;
        const double nr = pr * ure - pi * uim;  // times u
        pi = pr * uim + pi * ure;
        pr = nr;
    }
}

}  // namespace

int removeTones(const FrameView &src, const FrameView &dst, const ToneList &tones, const ToneSettings &settings)
{
    const int w = src.w, h = src.h;
    if (w <= 0 || h <= 0)
        return 0;
    const ToneKernels &kern = toneKernels();

    // Tones that make sense for this width, at most kToneMax.
    double freqs[kToneMax];
    int nt = 0;
    for (int t = 0; t < tones.count && t < kToneMax; t++) {
        const double f = tones.tone[t].freq;
        if (f > 0.0 && f < 0.5 * (double)w)
            freqs[nt++] = f;
    }
    const int strength = settings.flickerStrength < 0     ? 0
                         : settings.flickerStrength > 100 ? 100
                                                          : settings.flickerStrength;
    if (nt == 0 && strength == 0) {
        if (dst.data != src.data)
            for (int r = 0; r < h; r++)
                memcpy(dst.row(r), src.row(r), (size_t)w * 4);
        return 0;
    }

    Fit fit;
    fit.w = w;
    fit.tones = nt;
    fit.k = 1 + 2 * nt;
    const int k = fit.k;
    const int driftRows = tonePow2(2 * h);

    // One block: basis, planar row, accumulators, the coefficients of every
    // row and channel, and scratch for the drift.
    const size_t basisBytes = (size_t)4 * nt * w * sizeof(int16_t);  // planes, then pairs
    const size_t planarBytes = (size_t)3 * w * sizeof(int16_t);
    const size_t accBytes = (size_t)w * sizeof(int32_t);
    const size_t coefCount = (size_t)h * 3 * k;
    const size_t driftWork = (size_t)4 * driftRows + 2 * kMaxDriftRadius + 4;  // estimateDrift, smoothAlongDrift
    const size_t scratchCount = driftWork + 2 * (size_t)h;
    const size_t bytes = basisBytes + planarBytes + accBytes + 16 + (coefCount + scratchCount) * sizeof(double);
    uint8_t *block = (uint8_t *)malloc(bytes);
    if (!block)
        return -1;
    double *coef = (double *)block;  // row r, channel ch (plane order), function a at (r x 3 + ch) x k + a
    double *scratch = coef + coefCount;
    int32_t *acc = (int32_t *)(scratch + scratchCount);
    fit.basis = (int16_t *)(acc + w);
    int16_t *pairs = fit.basis + (size_t)2 * nt * w;
    int16_t *planar = pairs + (size_t)2 * nt * w;

    for (int t = 0; t < nt; t++) {
        int16_t *sinRow = fit.basis + (size_t)2 * t * w, *cosRow = sinRow + w;
        const double step = freqs[t] / (double)w;
        for (int j = 0; j < w; j++) {
            double s, c;
            toneSinCos((double)j * step, &s, &c);
            sinRow[j] = (int16_t)toneRound(s * (double)(1 << kBasisShift));
            cosRow[j] = (int16_t)toneRound(c * (double)(1 << kBasisShift));
            pairs[(size_t)2 * t * w + 2 * j] = sinRow[j];
            pairs[(size_t)2 * t * w + 2 * j + 1] = cosRow[j];
        }
    }
    factorBasis(&fit);

    // Pass 1: the fit of every row and channel.
    for (int r = 0; r < h; r++) {
        kern.unpackPlanes(src.row(r), planar, w);
        for (int ch = 0; ch < 3; ch++) {
            int64_t p[kMaxBasis];
            kern.innerProducts(planar + (size_t)ch * w, w, fit.basis, 2 * nt, p);
            solveFit(&fit, p, coef + ((size_t)r * 3 + ch) * k);
        }
    }

    // Along the drift, tone by tone; z = cosine part - i x sine part, so
    // that a drift of the phase by delta multiplies z by e^{i delta}.
    if (settings.driftRadius > 0 && h > 2)
        for (int t = 0; t < nt; t++) {
            if (!fit.used[1 + 2 * t] || !fit.used[2 + 2 * t])
                continue;
            double *zre = scratch + driftWork, *zim = zre + h;
            for (int r = 0; r < h; r++) {
                double sr = 0.0, si = 0.0;
                for (int ch = 0; ch < 3; ch++) {
                    const double *c = coef + ((size_t)r * 3 + ch) * k;
                    sr += c[2 + 2 * t];
                    si -= c[1 + 2 * t];
                }
                zre[r] = sr, zim[r] = si;
            }
            double ure, uim, coherence;
            estimateDrift(zre, zim, h, scratch, &ure, &uim, &coherence);
            if (!(coherence >= settings.driftCoherence))
                continue;
            for (int ch = 0; ch < 3; ch++) {
                for (int r = 0; r < h; r++) {
                    const double *c = coef + ((size_t)r * 3 + ch) * k;
                    zre[r] = c[2 + 2 * t];
                    zim[r] = -c[1 + 2 * t];
                }
                smoothAlongDrift(zre, zim, h, settings.driftRadius, ure, uim, scratch);
                for (int r = 0; r < h; r++) {
                    double *c = coef + ((size_t)r * 3 + ch) * k;
                    c[2 + 2 * t] = zre[r];
                    c[1 + 2 * t] = -zim[r];
                }
            }
        }

    // Pass 2: subtract. The flicker offset rides in the same accumulator.
    for (int r = 0; r < h; r++) {
        kern.unpackPlanes(src.row(r), planar, w);
        for (int ch = 0; ch < 3; ch++) {
            const double *c = coef + ((size_t)r * 3 + ch) * k;
            double offset = 0.0;
            if (strength > 0) {
                const int r0 = r - kFlickerRadius < 0 ? 0 : r - kFlickerRadius;
                const int r1 = r + kFlickerRadius >= h ? h - 1 : r + kFlickerRadius;
                double m = 0.0;
                for (int rr = r0; rr <= r1; rr++)
                    m += coef[((size_t)rr * 3 + ch) * k];
                m /= (double)(r1 - r0 + 1);
                offset = (double)strength / 100.0 * (m - c[0]);
            }
            // Amplitudes in sample units (the basis carries 2^14) go to int16
            // with 2^e fractional bits: the largest e that keeps each within
            // int16 and the whole sum within the kernel's int32 budget.
            double peak = 0.0, total = offset < 0 ? -offset : offset;
            for (int a = 1; a < k; a++) {
                const double amp = (c[a] < 0 ? -c[a] : c[a]) * (double)(1 << kBasisShift);
                peak = amp > peak ? amp : peak;
                total += amp;
            }
            int e = 16;
            double scale = toneExp2(e);
            while (e > -kBasisShift + 1 && (peak * scale > 32000.0 || total * scale >= 65536.0))
                e--, scale *= 0.5;
            if (peak * scale > 32000.0 || total * scale >= 65536.0)
                continue;  // a degenerate fit: leave the channel as it is
            int16_t fixedCoef[2 * kToneMax];
            for (int a = 1; a < k; a++)
                fixedCoef[a - 1] = (int16_t)toneRound(c[a] * (double)(1 << kBasisShift) * scale);
            // acc carries the tones at 2^(e + 14); the offset goes in with the
            // opposite sign, being added to the row.
            const int32_t bias = -(int32_t)toneRound(offset * scale * (double)(1 << kBasisShift));
            kern.toneSum(acc, w, pairs, nt, fixedCoef, bias);
            kern.subtractPlane(planar + (size_t)ch * w, acc, w, e + kBasisShift);
        }
        kern.packPlanes(planar, src.row(r), dst.row(r), w);
    }
    free(block);
    return 0;
}
