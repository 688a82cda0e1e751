// Tone estimation: peaks of the frame's row-averaged luma spectrum, or of
// its change from row to row, that stand above their neighbourhood are
// candidates; a candidate is a tone when its rows' amplitudes drift in phase
// from row to row (a pattern fixed in the picture does not) clearly and in
// most blocks of rows. Its frequency is then refined to a fraction of a
// cycle per row by direct evaluation of the drift-coherent power at
// fractional frequencies, and smoothed with the frames before. A candidate
// that stands still is a tone locked to the line only when it is the same
// sine in every block of rows, alone among the harmonics around it.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "modes/tone.h"
#include "modes/tone_kernels.h"
#include "modes/tone_math.h"

namespace {

// Rows the estimate looks at: a few blocks of consecutive rows spread over
// the frame. Within a block the row-to-row phase drift of a tone shows as a
// peak of the rows' complex amplitudes over the row index; across blocks
// the powers add up (the drift need not stay put over the whole frame).
const int kBlockRows = 64;
const int kBlocks = 3;
const int kMaxRows = kBlockRows * kBlocks;
const int kVertical = 2 * kBlockRows;  // vertical transform length, padded twice
// The neighbourhood a peak of the row spectrum is compared with, in cycles
// per row on each side, beyond the Hann window's main lobe.
const double kNearCycles = 3.0;
const double kFarCycles = 12.0;
// Row-spectrum peaks this far above their neighbourhood are examined, at
// most kCandidates of them, strongest first.
const double kCandidateRatio = 1.1;
const int kCandidates = 32;
// The screen with a bin's windowed amplitudes sees a tone off the bin, or
// weak over the picture, drift less clearly than the evaluation at its
// refined frequency does: a candidate is refined when its drift stands out
// this share of the threshold, and counts as a tone only when the refined
// one stands out the whole threshold.
const double kScreenShare = 0.5;
// Samples whose phasors setPhasors turns from the run's first.
const int kPhasorRun = 16;
// Frequencies one pass over the rows evaluates: each row is read once for
// all of them (the rows together are more than the cache holds).
const int kSlots = 4;
// Peaks closer than this (cycles per row) are one tone.
const double kMinSeparation = 1.5;
// Where broadband structure is told from a tone: whole cycles per row to
// each side, and the share of the tone's drift-coherent power seen there.
const double kBroadCycles = 3.0;
const double kBroadShare = 0.1;
// A tone locked to the line: the share of its rows' power that stands still,
// how far (in power, relative to the tone's) a block may stray from the
// others, and the frequencies where a pattern the same in every block must
// not reach the given share of the tone's still power: to each side, its
// overtones (2h, 3h) and its fractions (h/2 .. h/7).
const double kLockedShare = 0.5;
const double kLockedSpread = 0.1;
// The same, looser, on the row spectrum's bin, whose window takes in the
// picture beside the harmonic.
const double kLockedScreenSpread = 0.3;
const int kLockedSide = 4;
const int kLockedOvertones = 2;
const int kLockedFractions = 6;
const double kLockedSideShare = 0.25;
// The spans of a row a tone must show in (fewer at low frequencies, so that
// each holds two cycles), and the least share of the power a span holds of
// what its length leads one to expect.
const int kSpans = 4;
const double kSpanShare = 0.25;
// Where the peak of the still power is looked for (cycles per row to each
// side of the harmonic), and how far from the harmonic it may lie.
const double kLockedProbe = 0.5;
const double kLockedOffset = 0.2;
// How far (cycles per row) the row spectrum's peak may lie from the harmonic.
const double kLockedReach = 0.3;

struct Work {
    int w, n, fftN, blocks, blockRows, vertical;
    int rows[kMaxRows];
    double *luma;    // n rows of w mean-free samples
    double *power;   // fftN / 2 + 1 bins: the row-averaged power
    double *change;  // fftN / 2 + 1 bins: the power of the change from row to row
    double *specRe;  // n x (fftN / 2 + 1) complex amplitudes of the rows
    double *specIm;
    double *phasor;  // kSlots x 2 x w: cos, sin of each slot's frequency
    double *fft;     // 4 x fftN: re, im, twiddles (2 x fftN)
    double *sorted;  // neighbourhood values
    double zre[kMaxRows], zim[kMaxRows];
    // Each slot's rows' amplitudes.
    double slotRe[kSlots][kMaxRows], slotIm[kSlots][kMaxRows];
    double vtw[2 * kVertical];  // twiddles of the vertical transform
    double vwin[kBlockRows];
};

// The median of the bins at distances lo..hi from bin k.
double neighbourhood(const Work &wk, const double *power, int k, int lo, int hi)
{
    const int last = wk.fftN / 2 - 1;
    int m = 0;
    for (int d = lo; d <= hi; d++) {
        if (k - d >= 1)
            wk.sorted[m++] = power[k - d];
        if (k + d <= last)
            wk.sorted[m++] = power[k + d];
    }
    if (m == 0)
        return 0.0;
    std::nth_element(wk.sorted, wk.sorted + m / 2, wk.sorted + m);
    return wk.sorted[m / 2];
}

// Each sampled row's complex luma amplitude over samples x0..x1-1 at slot
// 0's frequency, into zre/zim.
void evaluateSpan(Work &wk, int x0, int x1)
{
    const int w = wk.w;
    const tone_evaluate_fn evaluate = toneKernels().evaluate;
    for (int i = 0; i < wk.n; i++)
        evaluate(wk.luma + (size_t)i * w + x0, wk.phasor + x0, wk.phasor + w + x0, x1 - x0, &wk.zre[i], &wk.zim[i]);
}

// The phasors of frequency f into a slot, in runs of kPhasorRun samples
// turned from the phasor at each run's start: a few series evaluations per
// run instead of one per sample.
void setPhasors(Work &wk, int slot, double f)
{
    const int w = wk.w;
    double *cs = wk.phasor + (size_t)2 * slot * w, *sn = cs + w;
    const double step = f / (double)w;
    double so[kPhasorRun], co[kPhasorRun];
    for (int d = 0; d < kPhasorRun; d++)
        toneSinCos((double)d * step, &so[d], &co[d]);
    for (int j0 = 0; j0 < w; j0 += kPhasorRun) {
        double sa, ca;
        toneSinCos((double)j0 * step, &sa, &ca);
        for (int d = 0; d < kPhasorRun && j0 + d < w; d++) {
            sn[j0 + d] = sa * co[d] + ca * so[d];
            cs[j0 + d] = ca * co[d] - sa * so[d];
        }
    }
}

// Each sampled row's complex luma amplitude at the frequencies f[0..nf-1],
// into slots first.. onwards, in one pass over the rows.
void evaluateSlots(Work &wk, int first, const double *f, int nf)
{
    const int w = wk.w;
    const tone_evaluate_fn evaluate = toneKernels().evaluate;
    for (int s = 0; s < nf; s++)
        setPhasors(wk, first + s, f[s]);
    for (int i = 0; i < wk.n; i++)
        for (int s = first; s < first + nf; s++) {
            const double *cs = wk.phasor + (size_t)2 * s * w;
            evaluate(wk.luma + (size_t)i * w, cs, cs + w, w, &wk.slotRe[s][i], &wk.slotIm[s][i]);
        }
}

// A slot's amplitudes into zre/zim, to be worked on there.
void takeSlot(Work &wk, int slot)
{
    memcpy(wk.zre, wk.slotRe[slot], (size_t)wk.n * sizeof(double));
    memcpy(wk.zim, wk.slotIm[slot], (size_t)wk.n * sizeof(double));
}

// Each sampled row's complex luma amplitude at frequency f into zre/zim
// (and slot 0).
void evaluateRows(Work &wk, double f)
{
    evaluateSlots(wk, 0, &f, 1);
    takeSlot(wk, 0);
}

// Removes each block's mean amplitude (whatever keeps its phase from row to
// row: a pattern fixed in the picture) and tapers the blocks with a Hann
// window, so that such a pattern, or its edge within a block, does not leak
// into the drifts a tone shows.
void conditionRows(Work &wk, bool taper)
{
    const int L = wk.blockRows;
    for (int b = 0; b < wk.blocks; b++) {
        double *zr = wk.zre + b * L, *zi = wk.zim + b * L;
        double mr = 0.0, mi = 0.0;
        for (int l = 0; l < L; l++)
            mr += zr[l], mi += zi[l];
        mr /= (double)L, mi /= (double)L;
        for (int l = 0; l < L; l++) {
            zr[l] = (zr[l] - mr) * (taper ? wk.vwin[l] : 1.0);
            zi[l] = (zi[l] - mi) * (taper ? wk.vwin[l] : 1.0);
        }
    }
}

// The power of the rows' amplitudes over the row index, summed over the
// blocks: vpow[m] for a drift of m / vertical cycles per row.
void verticalSpectrum(Work &wk, double *vpow)
{
    const int M = wk.vertical;
    double re[kVertical], im[kVertical];
    for (int m = 0; m < M; m++)
        vpow[m] = 0.0;
    for (int b = 0; b < wk.blocks; b++) {
        for (int m = 0; m < M; m++) {
            const int i = m < wk.blockRows ? b * wk.blockRows + m : -1;
            re[m] = i >= 0 ? wk.zre[i] : 0.0;
            im[m] = i >= 0 ? wk.zim[i] : 0.0;
        }
        toneFft(re, im, M, wk.vtw);
        for (int m = 0; m < M; m++)
            vpow[m] += re[m] * re[m] + im[m] * im[m];
    }
}

// The power of each block's rows summed along a drift of `drift` cycles per
// row (into blockPower), and their total.
double coherentPower(const Work &wk, double drift, double *blockPower)
{
    double total = 0.0;
    for (int b = 0; b < wk.blocks; b++) {
        double sr = 0.0, si = 0.0;
        for (int l = 0; l < wk.blockRows; l++) {
            double s, c;
            toneSinCos(-(double)l * drift, &s, &c);
            const int i = b * wk.blockRows + l;
            sr += wk.zre[i] * c - wk.zim[i] * s;
            si += wk.zre[i] * s + wk.zim[i] * c;
        }
        const double p = sr * sr + si * si;
        if (blockPower)
            blockPower[b] = p;
        total += p;
    }
    return total;
}

// Luma of the sampled rows (weights 0.298, 0.586, 0.116 as 76, 150, 30 over
// 256), mean removed, Hann window applied; their spectra, kept per row, and
// the row-averaged power.
void analyse(const FrameView &src, Work &wk)
{
    const int w = wk.w, N = wk.fftN;
    double *re = wk.fft, *im = wk.fft + N, *tw = wk.fft + 2 * N;
    double *win = wk.phasor;
    for (int j = 0; j < w; j++) {
        double s, c;
        toneSinCos(((double)j + 0.5) / (double)w, &s, &c);
        win[j] = 0.5 - 0.5 * c;
    }
    for (int i = 0; i < wk.n; i++) {
        const uint32_t *row = src.row(wk.rows[i]);
        double *y = wk.luma + (size_t)i * w;
        int64_t sum = 0;
        for (int j = 0; j < w; j++) {
            const uint32_t p = row[j];
            const int v = 76 * (int)(p >> 16 & 0xff) + 150 * (int)(p >> 8 & 0xff) + 30 * (int)(p & 0xff);
            y[j] = (double)v;
            sum += v;
        }
        const double mean = (double)sum / (double)w;
        for (int j = 0; j < w; j++)
            y[j] = y[j] - mean;
    }
    toneFftTwiddles(N, tw);
    const int bins = N / 2 + 1;
    for (int k = 0; k < bins; k++)
        wk.power[k] = 0.0;
    // Two real rows per complex transform.
    for (int i = 0; i < wk.n; i += 2) {
        const double *ya = wk.luma + (size_t)i * w;
        const double *yb = i + 1 < wk.n ? wk.luma + (size_t)(i + 1) * w : nullptr;
        for (int j = 0; j < N; j++) {
            re[j] = j < w ? ya[j] * win[j] : 0.0;
            im[j] = yb && j < w ? yb[j] * win[j] : 0.0;
        }
        toneFft(re, im, N, tw);
        double *ar = wk.specRe + (size_t)i * bins, *ai = wk.specIm + (size_t)i * bins;
        for (int k = 0; k < bins; k++) {
            const int m = (N - k) & (N - 1);
            ar[k] = 0.5 * (re[k] + re[m]), ai[k] = 0.5 * (im[k] - im[m]);
            wk.power[k] += ar[k] * ar[k] + ai[k] * ai[k];
            if (yb) {
                double *br = ar + bins, *bi = ai + bins;
                br[k] = 0.5 * (im[k] + im[m]), bi[k] = 0.5 * (re[m] - re[k]);
                wk.power[k] += br[k] * br[k] + bi[k] * bi[k];
            }
        }
    }
    // A drifting tone turns its phase from row to row, where the picture's own
    // detail mostly changes slowly: a weak tone over strong detail stands out
    // of the rows' differences before it stands out of their power.
    for (int k = 0; k < bins; k++)
        wk.change[k] = 0.0;
    for (int i = 1; i < wk.n; i++) {
        if (i % wk.blockRows == 0)
            continue;
        const double *ar = wk.specRe + (size_t)(i - 1) * bins, *ai = wk.specIm + (size_t)(i - 1) * bins;
        const double *br = ar + bins, *bi = ai + bins;
        for (int k = 0; k < bins; k++) {
            const double dr = br[k] - ar[k], di = bi[k] - ai[k];
            wk.change[k] += dr * dr + di * di;
        }
    }
}

struct Candidate {
    int bin;
    double ratio;
    const double *spectrum;  // the one it stands out of
    // From the bin's own amplitudes: their power, the part of it that stands
    // still (and each block's still amplitude), the strongest drift and how
    // far it stands out.
    double rowPower, still, stillRe[kBlocks], stillIm[kBlocks];
    double drift, strength;
    bool stands;    // mostly still, and alike in every block of rows
    bool drifting;  // goes on as a drifting tone, else as one locked to the line
};

// The strongest drift of the rows' amplitudes (zre/zim), in cycles per row,
// and how far its power stands above the median of all drifts. Drifts within
// two bins (the window's main lobe) of zero belong to patterns fixed in the
// picture and do not count. The median counts as at least `floor`, the
// rounding noise of 8-bit samples: a picture that stands perfectly still
// leaves only the arithmetic's own noise, which anything stands out of.
double strongestDrift(Work &wk, double *drift, double floor)
{
    double vpow[kVertical], sorted[kVertical];
    const int M = wk.vertical;
    verticalSpectrum(wk, vpow);
    int best = -1;
    const int lobe = 2 * M / wk.blockRows;
    for (int m = lobe + 1; m <= M - lobe - 1; m++)
        if (best < 0 || vpow[m] > vpow[best])
            best = m;
    for (int m = 0; m < M; m++)
        sorted[m] = vpow[m];
    std::nth_element(sorted, sorted + M / 2, sorted + M);
    const double median = std::max(sorted[M / 2], floor);
    // A peak at the edge of the excluded zone is the fixed pattern's flank.
    if (best < 0 || !(vpow[best] > vpow[best - 1] && vpow[best] > vpow[(best + 1) % M]) || !(median > 0.0))
        return 0.0;
    const double m = (double)best + toneParabolaPeak(vpow[best - 1], vpow[best], vpow[(best + 1) % M], 1.0);
    *drift = m / (double)M;
    return vpow[best] / median;
}

// The power of the rows' amplitudes (zre/zim).
double rowsPower(const Work &wk)
{
    double sum = 0.0;
    for (int i = 0; i < wk.n; i++)
        sum += wk.zre[i] * wk.zre[i] + wk.zim[i] * wk.zim[i];
    return sum;
}

// The part of the rows' amplitudes (zre/zim) that keeps its phase: each
// block's mean, into blockRe/blockIm, and their power summed over the blocks.
double fixedPower(const Work &wk, double *blockRe, double *blockIm)
{
    double total = 0.0;
    for (int b = 0; b < wk.blocks; b++) {
        double sr = 0.0, si = 0.0;
        for (int l = 0; l < wk.blockRows; l++)
            sr += wk.zre[b * wk.blockRows + l], si += wk.zim[b * wk.blockRows + l];
        sr /= (double)wk.blockRows, si /= (double)wk.blockRows;
        if (blockRe)
            blockRe[b] = sr, blockIm[b] = si;
        total += sr * sr + si * si;
    }
    return total;
}

// Whether every block's still part (blockRe/blockIm) is within `spread`
// (in power, relative to their mean's) of their mean.
bool sameInEveryBlock(const Work &wk, const double *blockRe, const double *blockIm, double spread)
{
    double mr = 0.0, mi = 0.0;
    for (int b = 0; b < wk.blocks; b++)
        mr += blockRe[b], mi += blockIm[b];
    mr /= (double)wk.blocks, mi /= (double)wk.blocks;
    const double m2 = mr * mr + mi * mi;
    if (!(m2 > 0.0))
        return false;
    for (int b = 0; b < wk.blocks; b++) {
        const double dr = blockRe[b] - mr, di = blockIm[b] - mi;
        if (!(dr * dr + di * di <= spread * m2))
            return false;
    }
    return true;
}

// Interference spans the whole row; a slanted line or an edge that drifts
// like a tone spans part of it. Each of a few equal spans of the row must
// hold at least a fair share of the power the whole row's evaluation at f
// (drift-coherent, or for a locked tone standing still) leads one to expect.
// Slot 0 holds f's evaluation.
bool acrossTheWidth(Work &wk, double f, bool locked, double drift)
{
    const int spans = f >= 2.0 * kSpans ? kSpans : 2;
    takeSlot(wk, 0);
    if (!locked)
        conditionRows(wk, false);
    const double whole = locked ? fixedPower(wk, nullptr, nullptr) : coherentPower(wk, drift, nullptr);
    for (int s = 0; s < spans; s++) {
        const int x0 = (int)((int64_t)wk.w * s / spans), x1 = (int)((int64_t)wk.w * (s + 1) / spans);
        evaluateSpan(wk, x0, x1);
        if (!locked)
            conditionRows(wk, false);
        const double part = locked ? fixedPower(wk, nullptr, nullptr) : coherentPower(wk, drift, nullptr);
        const double share = (double)(x1 - x0) / (double)wk.w;
        if (!(part >= kSpanShare * share * share * whole))
            return false;
    }
    return true;
}

// A tone locked to the line stands still from row to row, as a pattern fixed
// in the picture does; it is told from one by being the same in every block
// of rows, by standing clearly above what the rows hold at that harmonic
// beside it, and by being a sine over the whole width: nothing else the same
// in every block of rows beside it, where a pattern's edges and shapes leak,
// nor at a fundamental or overtones, which stripes and fences have.
bool lockedTone(Work &wk, int h)
{
    // With a single block of rows there is nothing to tell it by.
    if (wk.blocks < 2)
        return false;
    double bre[kBlocks], bim[kBlocks];
    evaluateRows(wk, (double)h);
    const double fixed = fixedPower(wk, bre, bim);
    if (!(fixed * (double)wk.blockRows >= kLockedShare * rowsPower(wk)) ||
        !sameInEveryBlock(wk, bre, bim, kLockedSpread))
        return false;
    // On the harmonic itself: a pattern a fraction of a cycle off it stands
    // still as well and leaks into it.
    // (Slot 0 keeps h's evaluation for acrossTheWidth.)
    double p[2];
    const double probes[2] = {(double)h - kLockedProbe, (double)h + kLockedProbe};
    evaluateSlots(wk, 1, probes, 2);
    for (int e = 0; e < 2; e++) {
        takeSlot(wk, 1 + e);
        p[e] = fixedPower(wk, nullptr, nullptr);
    }
    const double offset = toneParabolaPeak(p[0], fixed, p[1], kLockedProbe);
    if (!(offset <= kLockedOffset && offset >= -kLockedOffset))
        return false;
    // The harmonics beside it, then the frequencies a periodic pattern would
    // share with it: its overtones (2h, 3h) and a fundamental h / m, which
    // need not be a whole number of cycles.
    double others[2 * kLockedSide + kLockedOvertones + kLockedFractions];
    int count = 0;
    // (The likeliest to turn a pattern away come first.)
    others[count++] = h - 1, others[count++] = h + 1;
    for (int m = 2; m < 2 + kLockedFractions; m++)
        others[count++] = (double)h / (double)m;
    for (int m = 2; m < 2 + kLockedOvertones; m++)
        others[count++] = (double)(m * h);
    for (int d = 2; d <= kLockedSide; d++)
        others[count++] = h - d, others[count++] = h + d;
    int kept = 0;
    for (int i = 0; i < count; i++)
        if (others[i] >= 1.0 && 2.0 * others[i] < (double)wk.w)
            others[kept++] = others[i];
    for (int i = 0; i < kept; i += kSlots - 1) {
        const int nf = std::min(kSlots - 1, kept - i);
        evaluateSlots(wk, 1, others + i, nf);
        for (int s = 0; s < nf; s++) {
            takeSlot(wk, 1 + s);
            double ore[kBlocks], oim[kBlocks];
            if (fixedPower(wk, ore, oim) >= kLockedSideShare * fixed &&
                sameInEveryBlock(wk, ore, oim, kLockedScreenSpread))
                return false;
        }
    }
    return acrossTheWidth(wk, (double)h, true, 0.0);
}

int detect(const FrameView &src, const ToneSettings &settings, Tone *out)
{
    const int w = src.w, h = src.h;
    if (w < 16 || h < 8)
        return 0;
    const double limit = 0.5 * (double)w - 1.0;
    const double fmin = settings.minFreq > 1.0 ? settings.minFreq : 1.0;
    const double fmax = settings.maxFreq > 0.0 && settings.maxFreq < limit ? settings.maxFreq : limit;
    const int maxTones = settings.maxTones < kToneMax ? settings.maxTones : kToneMax;
    if (!(fmax > fmin) || maxTones <= 0)
        return 0;

    Work wk;
    wk.w = w;
    wk.blockRows = h < kBlockRows ? h : kBlockRows;
    wk.blocks = h / wk.blockRows < kBlocks ? h / wk.blockRows : kBlocks;
    wk.n = wk.blocks * wk.blockRows;
    wk.vertical = tonePow2(2 * wk.blockRows);
    wk.fftN = tonePow2(w);
    for (int b = 0; b < wk.blocks; b++) {
        int start = (int)(((int64_t)2 * b + 1) * h / (2 * (int64_t)wk.blocks)) - wk.blockRows / 2;
        start = start < 0 ? 0 : start > h - wk.blockRows ? h - wk.blockRows : start;
        for (int l = 0; l < wk.blockRows; l++)
            wk.rows[b * wk.blockRows + l] = start + l;
    }
    toneFftTwiddles(wk.vertical, wk.vtw);
    for (int l = 0; l < wk.blockRows; l++) {
        double sv, cv;
        toneSinCos(((double)l + 0.5) / (double)wk.blockRows, &sv, &cv);
        wk.vwin[l] = 0.5 - 0.5 * cv;
    }
    // The power the rounding of 8-bit samples leaves in a bin of the vertical
    // spectrum, summed over the blocks: a luma sample's rounding variance
    // (76^2 + 150^2 + 30^2) / 12 through the horizontal window (the row
    // spectra's Hann, or none for direct evaluations) and the vertical taper.
    // (The Hann window's squares sum to 3/8 of its length.)
    double taper = 0.0;
    for (int l = 0; l < wk.blockRows; l++)
        taper += wk.vwin[l] * wk.vwin[l];
    const double hann = 0.375 * (double)w;
    const double rounding = (76.0 * 76.0 + 150.0 * 150.0 + 30.0 * 30.0) / 12.0 * taper * (double)wk.blocks;
    const double windowedFloor = rounding * hann, plainFloor = rounding * (double)w;
    const int N = wk.fftN, bins = N / 2 + 1;
    const size_t count = (size_t)wk.n * w + (size_t)bins * (2 + 2 * (size_t)wk.n) + (size_t)2 * kSlots * w +
                         4 * (size_t)N + 2 * (size_t)bins;
    double *block = (double *)malloc(count * sizeof(double));
    if (!block)
        return 0;
    wk.luma = block;
    wk.power = wk.luma + (size_t)wk.n * w;
    wk.change = wk.power + bins;
    wk.specRe = wk.change + bins;
    wk.specIm = wk.specRe + (size_t)wk.n * bins;
    wk.phasor = wk.specIm + (size_t)wk.n * bins;
    wk.fft = wk.phasor + (size_t)2 * kSlots * w;
    wk.sorted = wk.fft + 4 * (size_t)N;
    analyse(src, wk);

    // Bins per cycle per row, and the neighbourhood in bins.
    const double binsPerCycle = (double)N / (double)w;
    const int lo = (int)(kNearCycles * binsPerCycle + 0.999);
    const int hi = std::max(lo + 2, (int)(kFarCycles * binsPerCycle));
    const double *all = wk.power;
    const int k0 = std::max(1, (int)(fmin * binsPerCycle + 0.999));
    const int k1 = std::min(N / 2 - 1, (int)(fmax * binsPerCycle));

    Candidate cand[kCandidates];
    int nc = 0;
    for (int k = k0; k <= k1; k++) {
        // A peak of the power or of the change from row to row.
        Candidate c = {k, 0.0, all};
        for (const double *curve : {all, (const double *)wk.change}) {
            if (!(curve[k] >= curve[k - 1] && curve[k] > curve[k + 1]))
                continue;
            const double bg = neighbourhood(wk, curve, k, lo, hi);
            if (bg > 0.0 && curve[k] / bg > c.ratio)
                c.ratio = curve[k] / bg, c.spectrum = curve;
        }
        if (!(c.ratio >= kCandidateRatio))
            continue;
        if (nc < kCandidates) {
            cand[nc++] = c;
        } else {
            int weakest = 0;
            for (int q = 1; q < nc; q++)
                if (cand[q].ratio < cand[weakest].ratio)
                    weakest = q;
            if (c.ratio > cand[weakest].ratio)
                cand[weakest] = c;
        }
    }
    std::sort(cand, cand + nc, [](const Candidate &a, const Candidate &b) {
        return a.ratio > b.ratio || (a.ratio == b.ratio && a.bin < b.bin);
    });

    int found = 0;
    // A tone more than kMinSeparation from those found before.
    auto separate = [&](double f) {
        for (int t = 0; t < found; t++)
            if (out[t].freq - f < kMinSeparation && f - out[t].freq < kMinSeparation)
                return false;
        return true;
    };
    // Screen each with the bin's own amplitudes: a tone drifts, and its drift
    // stands out of the row-to-row spectrum.
    for (int q = 0; q < nc; q++) {
        Candidate &c = cand[q];
        for (int i = 0; i < wk.n; i++) {
            wk.zre[i] = wk.specRe[(size_t)i * bins + c.bin];
            wk.zim[i] = wk.specIm[(size_t)i * bins + c.bin];
        }
        c.rowPower = rowsPower(wk);
        c.still = fixedPower(wk, c.stillRe, c.stillIm) * (double)wk.blockRows;
        conditionRows(wk, true);
        c.drift = 0.0;
        c.strength = strongestDrift(wk, &c.drift, windowedFloor);
        // Below the threshold, what mostly stands still is taken for that.
        c.stands =
            c.still >= kLockedShare * c.rowPower && sameInEveryBlock(wk, c.stillRe, c.stillIm, kLockedScreenSpread);
        c.drifting = c.strength >= settings.threshold || (c.strength >= kScreenShare * settings.threshold && !c.stands);
    }
    // A drifting tone leaks into the bins beside it, which then drift with
    // it: of drifting candidates closer than two tones may lie and drifting
    // alike (within two bins of the vertical transform), the one whose drift
    // stands out most is the tone.
    auto outdone = [&](int q) {
        const double reach = kMinSeparation * binsPerCycle, alike = 2.0 / (double)wk.vertical;
        for (int r = 0; r < nc; r++) {
            // Drifts are turns in 0..1: how far apart, either way round.
            double apart = cand[r].drift - cand[q].drift;
            apart = apart < 0.0 ? -apart : apart;
            apart = apart > 0.5 ? 1.0 - apart : apart;
            if (r != q && cand[r].drifting && abs(cand[r].bin - cand[q].bin) < reach && apart < alike &&
                (cand[r].strength > cand[q].strength || (cand[r].strength == cand[q].strength && r < q)))
                return true;
        }
        return false;
    };
    for (int q = 0; q < nc && found < maxTones; q++) {
        const int k = cand[q].bin;
        const double rowPower = cand[q].rowPower, still = cand[q].still;
        double drift = cand[q].drift;
        if (!cand[q].drifting) {
            // Standing still: a tone locked to the line, or the picture.
            if (!cand[q].stands)
                continue;
            const double fl = ((double)k + toneParabolaPeak(all[k - 1], all[k], all[k + 1], 1.0)) / binsPerCycle;
            const int hl = (int)(fl + 0.5);
            if (!(fl - (double)hl < kLockedReach && (double)hl - fl < kLockedReach) || hl < fmin || hl > fmax ||
                !separate((double)hl) || !lockedTone(wk, hl))
                continue;
            out[found].freq = (double)hl;
            out[found].strength = still / rowPower;
            found++;
            continue;
        }
        if (outdone(q))
            continue;
        // Then the fraction: parabolas through the drift-coherent power at
        // fractional frequencies, each a tenth of the width of the one before.
        const double *curve = cand[q].spectrum;
        double f = ((double)k + toneParabolaPeak(curve[k - 1], curve[k], curve[k + 1], 1.0)) / binsPerCycle;
        for (double step = 0.1; step > 0.005; step *= 0.1) {
            double p[3];
            const double fs[3] = {f - step, f, f + step};
            evaluateSlots(wk, 0, fs, 3);
            for (int e = 0; e < 3; e++) {
                takeSlot(wk, e);
                conditionRows(wk, false);
                p[e] = coherentPower(wk, drift, nullptr);
            }
            f += toneParabolaPeak(p[0], p[1], p[2], step);
        }
        if (f < fmin || f > fmax || !separate(f))
            continue;
        // Present in most blocks of rows: each block's drift-coherent power
        // a fair share of the average block's. (With f, the frequencies the
        // broadband test below looks at, beside it.)
        double sides[3] = {f, 0.0, 0.0};
        int ns = 1;
        for (int side = -1; side <= 1; side += 2) {
            const double g = f + side * kBroadCycles;
            if (g > 0.0 && g < 0.5 * (double)w)
                sides[ns++] = g;
        }
        evaluateSlots(wk, 0, sides, ns);
        takeSlot(wk, 0);
        conditionRows(wk, true);
        double strength = strongestDrift(wk, &drift, plainFloor);
        double blockPower[kBlocks];
        const double total = coherentPower(wk, drift, blockPower);
        int present = 0;
        for (int b = 0; b < wk.blocks; b++)
            present += blockPower[b] * (double)wk.blocks >= 0.25 * total ? 1 : 0;
        if (present < wk.blocks - wk.blocks / 4 || !(strength >= settings.threshold))
            continue;
        // Structure moving across the rows (a slanted edge) drifts at every
        // frequency, in proportion to it; a tone drifts at its own only. A
        // few whole cycles to each side, where the tone itself leaks nothing
        // over a row, the drift in proportion must carry a small part of the
        // tone's power on at least one side.
        const double signedDrift = drift > 0.5 ? drift - 1.0 : drift;
        int broad = 0;
        for (int s = 1; s < ns; s++) {
            const double g = sides[s];
            takeSlot(wk, s);
            conditionRows(wk, true);
            const double share = coherentPower(wk, signedDrift * g / f, nullptr) / total;
            if (share >= kBroadShare)
                broad++;
        }
        if (broad == 2 || !acrossTheWidth(wk, f, false, drift))
            continue;
        out[found].freq = f;
        out[found].strength = strength;
        found++;
    }
    free(block);
    return found;
}

}  // namespace

void toneStateReset(ToneState *state)
{
    memset(state, 0, sizeof *state);
}

ToneList estimateTones(const FrameView &src, ToneState *state, const ToneSettings &settings)
{
    ToneList list;
    list.count = 0;
    if (!settings.autoDetect) {
        for (int t = 0; t < settings.typedCount && t < kToneMax; t++) {
            const double f = settings.typed[t];
            if (f > 0.0 && f < 0.5 * (double)src.w) {
                list.tone[list.count].freq = f;
                list.tone[list.count].strength = 0.0;
                list.count++;
            }
        }
        return list;
    }

    Tone raw[kToneMax];
    const int nr = detect(src, settings, raw);
    const double alpha = settings.smoothing > 0.0 && settings.smoothing < 1.0 ? settings.smoothing : 1.0;

    // Each new peak follows the nearest unclaimed tone of the frames before
    // (within half a cycle per row); tones not seen again are held a while.
    ToneList next;
    int nextAge[kToneMax] = {};
    next.count = 0;
    bool claimed[kToneMax] = {};
    const ToneList &prev = state->tones;
    for (int i = 0; i < nr; i++) {
        int best = -1;
        double bestDist = 0.5;
        for (int t = 0; t < prev.count; t++) {
            const double d =
                raw[i].freq > prev.tone[t].freq ? raw[i].freq - prev.tone[t].freq : prev.tone[t].freq - raw[i].freq;
            if (!claimed[t] && d < bestDist)
                best = t, bestDist = d;
        }
        Tone tone = raw[i];
        if (best >= 0) {
            claimed[best] = true;
            tone.freq = prev.tone[best].freq + alpha * (raw[i].freq - prev.tone[best].freq);
        }
        nextAge[next.count] = 0;
        next.tone[next.count++] = tone;
    }
    for (int t = 0; t < prev.count && next.count < kToneMax; t++)
        if (!claimed[t] && state->age[t] + 1 <= settings.holdFrames) {
            nextAge[next.count] = state->age[t] + 1;
            next.tone[next.count++] = prev.tone[t];
        }
    state->tones = next;
    memcpy(state->age, nextAge, sizeof nextAge);
    state->frames++;
    return next;
}
