// The frame spectrum of curve-weighted full processing: scalar reference.
#include <stdint.h>

#include "modes/modes_dsp.h"

namespace {

inline int64_t squared(const ChannelCoeff &c)
{
    return (int64_t)c.sinePart * c.sinePart + (int64_t)c.cosinePart * c.cosinePart;
}

// trunc(x), saturated rather than undefined.
inline int64_t truncatePower(double x)
{
    if (x >= 9223372036854775807.0)
        return INT64_MAX;
    return (int64_t)x;
}

}  // namespace

void weighted_power_c(const HarmonicCoeffs *rows, ptrdiff_t stride, int nrows, int count, int64_t *power)
{
    for (int r = 0; r < nrows; r++) {
        const HarmonicCoeffs *row = rows + r * stride;
        for (int k = 0; k < count; k++) {
            const double weighted = 0.586 * (double)squared(row[k].green) + 0.298 * (double)squared(row[k].red);
            power[k] = truncatePower(weighted + 0.116 * (double)squared(row[k].blue) + (double)power[k]);
        }
    }
}
