// Harmonic synthesis: scalar reference.
#include <string.h>

#include "engine/dsp.h"
#include "engine/fixed_point.h"

void synthesise_row_c(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                      const int16_t *cos16, int stride)
{
    memset(work, 0, (size_t)16 * (size_t)w);
    const int samples = 2 * (w / 2);
    for (int h = 0; h < count; h++) {
        const ChannelCoeff *ch[3] = {&coeffs[h].blue, &coeffs[h].green, &coeffs[h].red};
        const int16_t *sr = sin16 + (ptrdiff_t)h * stride;
        const int16_t *cr = cos16 + (ptrdiff_t)h * stride;
        for (int p = 0; p < 3; p++) {
            const int32_t s = saturate16(ch[p]->sinePart);
            // The mean level (harmonic 0) is carried at full size: saturating
            // it would cap every row mean at 127.
            const int32_t c = h == 0 ? ch[p]->cosinePart : saturate16(ch[p]->cosinePart);
            uint32_t *acc = (uint32_t *)work + (ptrdiff_t)p * w;
            for (int j = 0; j < samples; j++)
                acc[j] += (uint32_t)sr[j] * (uint32_t)s + (uint32_t)cr[j] * (uint32_t)c;
        }
    }
    // In place: sample j of plane p (int16 element p*w + j) lands on memory
    // that accumulators up to p*w/2 + j/2 <= p*w + j have occupied, all read.
    // memcpy keeps the int32 reads and int16 writes of one block well-defined.
    unsigned char *bytes = (unsigned char *)work;
    for (int p = 0; p < 3; p++) {
        for (int j = 0; j < samples; j++) {
            const ptrdiff_t i = (ptrdiff_t)p * w + j;
            int32_t acc;
            memcpy(&acc, bytes + 4 * i, 4);
            const int16_t sample = (int16_t)saturate16(acc >> 18);
            memcpy(bytes + 2 * i, &sample, 2);
        }
    }
}

void synthesise_rows_c(const HarmonicCoeffs *coeffs, ptrdiff_t coeffStride, int rows, int count, int w, uint32_t *dst,
                       ptrdiff_t pitch, int32_t *work, const Tables16View *tables)
{
    for (int r = 0; r < rows; r++) {
        synthesise_row_c(work, count, w, coeffs + r * coeffStride, tables->sin16, tables->cos16, tables->n);
        pack_row_c((const int16_t *)work, (uint32_t *)((uint8_t *)dst + r * pitch), w);
    }
}
