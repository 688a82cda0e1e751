// Display colour conversion: scalar reference.
#include "display/display_dsp.h"
#include "display/yuv_pixel.h"

void convert_row_to_yuv_c(const uint32_t *src, uint32_t *dst, int w)
{
    if (w < 2)
        return;
    yuvPixels(src, dst, 0, 2 * (w >> 1));
}
