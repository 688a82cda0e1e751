// Scaling of harmonic records by per-harmonic gains: scalar reference.
#include "modes/guards.h"
#include "modes/modes_dsp.h"

void scale_records_c(const HarmonicCoeffs *in, HarmonicCoeffs *out, ptrdiff_t stride, int rows, int count,
                     const float *gains)
{
    for (int r = 0; r < rows; r++) {
        const int32_t *f = (const int32_t *)(in + r * stride);
        int32_t *o = (int32_t *)(out + r * stride);
        for (int i = 0; i < 6 * count; i++)
            o[i] = scaleCoefficient(f[i], gains[i / 6]);
    }
}
