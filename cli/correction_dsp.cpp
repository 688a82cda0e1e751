// Reference kernels of the YUV import and the change correction, and the
// dispatch table.
#include "cli/correction_dsp.h"

#include "engine/dsp.h"

void change_row_c(int16_t *change, const uint32_t *in, const uint32_t *out, int w)
{
    for (int x = 0; x < w; x++)
        changePixel(change + x, change + w + x, change + 2 * w + x, in[x], out[x]);
}

void correct_luma_c(uint16_t *y, const int16_t *change, int w, const float k[3], int maxValue)
{
    for (int x = 0; x < w; x++)
        y[x] = correctedLuma(y[x], change[x], change[w + x], change[2 * w + x], k, maxValue);
}

void sums_x2_c(int32_t *sums, int n, const int16_t *change, int w, int first, int end, int centred)
{
    for (int c = 0; c < 3; c++)
        for (int k = first; k < end; k++)
            sums[c * n + k] = sumX2(change + c * w, k, centred);
}

void correct_chroma_c(uint16_t *c, const int32_t *sums, const float *inv, int n, const float k[3], int maxValue)
{
    for (int x = 0; x < n; x++)
        c[x] = correctedChroma(c[x], sums[x], sums[n + x], sums[2 * n + x], inv[x], k, maxValue);
}

void chroma_row_c(float *dst, const uint16_t *a, const uint16_t *b, float t, int n, float offset, float gain)
{
    for (int i = 0; i < n; i++)
        dst[i] = chromaValue(a[i], b[i], t, offset, gain);
}

void upsample_x2_c(float *dst, const float *src, int first, int end)
{
    for (int k = first; k < end; k++) {
        dst[2 * k] = src[k];
        dst[2 * k + 1] = src[k] + 0.5f * (src[k + 1] - src[k]);
    }
}

void widen_bytes_c(uint16_t *dst, const uint8_t *src, int n)
{
    for (int i = 0; i < n; i++)
        dst[i] = src[i];
}

void narrow_bytes_c(uint8_t *dst, const uint16_t *src, int n)
{
    for (int i = 0; i < n; i++)
        dst[i] = (uint8_t)src[i];
}

void xrgb_row_c(uint32_t *dst, const uint16_t *y, const float *cb, const float *cr, int w, const float k[7])
{
    for (int x = 0; x < w; x++)
        dst[x] = xrgbPixel(y[x], cb[x], cr[x], k);
}

CpuLevel correctionDspInit(CorrectionDsp *dsp, CpuLevel cap)
{
    dsp->changeRow = change_row_c;
    dsp->correctLuma = correct_luma_c;
    dsp->sumsX2 = sums_x2_c;
    dsp->correctChroma = correct_chroma_c;
    dsp->chromaRow = chroma_row_c;
    dsp->upsampleX2 = upsample_x2_c;
    dsp->xrgbRow = xrgb_row_c;
    dsp->widenBytes = widen_bytes_c;
    dsp->narrowBytes = narrow_bytes_c;
    const CpuLevel have = cpuDetect();
    const CpuLevel level = cap < have ? cap : have;
    if (level < CPU_SSE2)
        return level;
    dsp->changeRow = change_row_sse2;
    dsp->correctLuma = correct_luma_sse2;
    dsp->sumsX2 = sums_x2_sse2;
    dsp->correctChroma = correct_chroma_sse2;
    dsp->chromaRow = chroma_row_sse2;
    dsp->upsampleX2 = upsample_x2_sse2;
    dsp->xrgbRow = xrgb_row_sse2;
    dsp->widenBytes = widen_bytes_sse2;
    dsp->narrowBytes = narrow_bytes_sse2;
    return level;
}

static LazyDspTable<CorrectionDsp> processDsp = {correctionDspInit, {}, 0};

const CorrectionDsp &correctionDsp()
{
    return processDsp.get();
}
