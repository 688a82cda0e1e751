// The tone remover's kernels: scalar references and the table.
#include "modes/tone_kernels.h"

namespace {
const int kBlock = 256;
}

void tone_unpack_c(const uint32_t *row, int16_t *planar, int w)
{
    for (int j = 0; j < w; j++) {
        const uint32_t p = row[j];
        planar[j] = (int16_t)(p & 0xff);
        planar[w + j] = (int16_t)(p >> 8 & 0xff);
        planar[2 * w + j] = (int16_t)(p >> 16 & 0xff);
    }
}

void tone_inner_c(const int16_t *x, int w, const int16_t *basis, int nb, int64_t *p)
{
    for (int b = 0; b <= nb; b++)
        p[b] = 0;
    for (int j0 = 0; j0 < w; j0 += kBlock) {
        const int j1 = w - j0 < kBlock ? w : j0 + kBlock;
        int32_t s = 0;
        for (int j = j0; j < j1; j++)
            s += x[j];
        p[0] += s;
        for (int b = 0; b < nb; b++) {
            const int16_t *row = basis + (size_t)b * w;
            int32_t d = 0;
            for (int j = j0; j < j1; j++)
                d += (int32_t)x[j] * row[j];
            p[1 + b] += d;
        }
    }
}

void tone_sum_c(int32_t *acc, int w, const int16_t *pairs, int nt, const int16_t *coef, int32_t bias)
{
    for (int j = 0; j < w; j++)
        acc[j] = bias;
    for (int t = 0; t < nt; t++) {
        const int16_t *pr = pairs + (size_t)t * 2 * w;
        const int32_t cs = coef[2 * t], cc = coef[2 * t + 1];
        for (int j = 0; j < w; j++)
            acc[j] += cs * pr[2 * j] + cc * pr[2 * j + 1];
    }
}

void tone_subtract_c(int16_t *x, const int32_t *acc, int w, int shift)
{
    const int32_t half = (int32_t)1 << (shift - 1);
    for (int j = 0; j < w; j++) {
        const int32_t v = (int32_t)x[j] - ((acc[j] + half) >> shift);
        x[j] = (int16_t)(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

void tone_pack_c(const int16_t *planar, const uint32_t *src, uint32_t *dst, int w)
{
    for (int j = 0; j < w; j++)
        dst[j] = (src[j] & 0xff000000u) | (uint32_t)planar[2 * w + j] << 16 | (uint32_t)planar[w + j] << 8 |
                 (uint32_t)planar[j];
}

void tone_evaluate_c(const double *y, const double *cs, const double *sn, int n, double *re, double *im)
{
    double r[8] = {}, i[8] = {};
    int j = 0;
    for (; j + 8 <= n; j += 8)
        for (int l = 0; l < 8; l++) {
            r[l] += y[j + l] * cs[j + l];
            i[l] -= y[j + l] * sn[j + l];
        }
    for (; j < n; j++)
        r[0] += y[j] * cs[j], i[0] -= y[j] * sn[j];
    *re = ((r[0] + r[1]) + (r[2] + r[3])) + ((r[4] + r[5]) + (r[6] + r[7]));
    *im = ((i[0] + i[1]) + (i[2] + i[3])) + ((i[4] + i[5]) + (i[6] + i[7]));
}

void tone_butterflies_c(double *re, double *im, int n, int half, const double *wr, const double *wi)
{
    for (int i = 0; i < n; i += 2 * half)
        for (int k = 0; k < half; k++) {
            const int a = i + k, b = a + half;
            const double xr = re[b] * wr[k] - im[b] * wi[k];
            const double xi = re[b] * wi[k] + im[b] * wr[k];
            re[b] = re[a] - xr;
            im[b] = im[a] - xi;
            re[a] = re[a] + xr;
            im[a] = im[a] + xi;
        }
}

CpuLevel toneKernelsInit(ToneKernels *k, CpuLevel cap)
{
    k->unpackPlanes = tone_unpack_c;
    k->innerProducts = tone_inner_c;
    k->toneSum = tone_sum_c;
    k->subtractPlane = tone_subtract_c;
    k->packPlanes = tone_pack_c;
    k->evaluate = tone_evaluate_c;
    k->butterflies = tone_butterflies_c;
    const CpuLevel have = cpuDetect();
    const CpuLevel level = cap < have ? cap : have;
    if (level < CPU_SSE2)
        return level;
    k->unpackPlanes = tone_unpack_sse2;
    k->packPlanes = tone_pack_sse2;
    k->innerProducts = tone_inner_sse2;
    k->toneSum = tone_sum_sse2;
    k->subtractPlane = tone_subtract_sse2;
    k->evaluate = tone_evaluate_sse2;
    k->butterflies = tone_butterflies_sse2;
#if defined(__x86_64__) || defined(_M_X64)
    if (level >= CPU_AVX2) {
        k->evaluate = tone_evaluate_avx2;
        k->butterflies = tone_butterflies_avx2;
    }
#endif
    return level;
}

static LazyDspTable<ToneKernels> processToneKernels = {toneKernelsInit, {}, 0};

const ToneKernels &toneKernels()
{
    return processToneKernels.get();
}
