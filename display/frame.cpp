#include "display/frame.h"

#include <string.h>

void clearFrame(const VFBitmap &b)
{
    if (b.h <= 0)
        return;
    const ptrdiff_t rowBytes = (ptrdiff_t)(b.w > 0 ? b.w : 0) * 4;
    if (b.pitch >= rowBytes) {
        memset(b.data, 0, (size_t)b.pitch * (size_t)b.h);
        return;
    }
    for (int r = 0; r < b.h; r++)
        memset((uint8_t *)b.data + (ptrdiff_t)r * b.pitch, 0, (size_t)rowBytes);
}
