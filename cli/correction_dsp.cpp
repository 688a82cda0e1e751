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

void correct_chroma_c(uint16_t *c, const int32_t *sums, const float *inv, int n, const float k[3], int maxValue)
{
    for (int x = 0; x < n; x++)
        c[x] = correctedChroma(c[x], sums[x], sums[n + x], sums[2 * n + x], inv[x], k, maxValue);
}

void xrgb_row_c(uint32_t *dst, const float *y, const float *cb, const float *cr, int w, const float k[5])
{
    for (int x = 0; x < w; x++)
        dst[x] = xrgbPixel(y[x], cb[x], cr[x], k);
}

void correctionDspInit(CorrectionDsp *dsp, int cap)
{
    dsp->changeRow = change_row_c;
    dsp->correctLuma = correct_luma_c;
    dsp->correctChroma = correct_chroma_c;
    dsp->xrgbRow = xrgb_row_c;
    const int have = cpuDetect();
    if ((cap < have ? cap : have) < CPU_SSE2)
        return;
    dsp->changeRow = change_row_sse2;
    dsp->correctLuma = correct_luma_sse2;
    dsp->correctChroma = correct_chroma_sse2;
    dsp->xrgbRow = xrgb_row_sse2;
}

const CorrectionDsp &correctionDsp()
{
    static const CorrectionDsp table = [] {
        CorrectionDsp d;
        correctionDspInit(&d, cpuCapFromEnv());
        return d;
    }();
    return table;
}
