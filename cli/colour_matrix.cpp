// The YCbCr matrix, range and chroma siting of a decoded picture.
#include "cli/colour_matrix.h"

AVColorSpace fallbackColourSpace(int height)
{
    return height > 576 ? AVCOL_SPC_BT709 : AVCOL_SPC_BT470BG;
}

bool isFullRangePixFmt(AVPixelFormat fmt)
{
    return fmt == AV_PIX_FMT_YUVJ420P || fmt == AV_PIX_FMT_YUVJ422P || fmt == AV_PIX_FMT_YUVJ444P ||
           fmt == AV_PIX_FMT_YUVJ440P || fmt == AV_PIX_FMT_YUVJ411P;
}

ColourMatrix colourMatrixFor(AVColorSpace space, AVColorRange range, AVPixelFormat fmt, int height, int depth)
{
    ColourMatrix m;
    if (space == AVCOL_SPC_UNSPECIFIED || space == AVCOL_SPC_RGB || space == AVCOL_SPC_RESERVED)
        space = fallbackColourSpace(height);
    switch (space) {
    case AVCOL_SPC_BT709: m.kr = 0.2126, m.kb = 0.0722; break;
    case AVCOL_SPC_FCC: m.kr = 0.30, m.kb = 0.11; break;
    case AVCOL_SPC_SMPTE240M: m.kr = 0.212, m.kb = 0.087; break;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: m.kr = 0.2627, m.kb = 0.0593; break;
    default:
        // BT.470BG, SMPTE 170M and whatever else: BT.601, as swscale does.
        space = space == AVCOL_SPC_SMPTE170M ? space : AVCOL_SPC_BT470BG;
        m.kr = 0.299, m.kb = 0.114;
        break;
    }
    m.space = space;
    m.fullRange = range == AVCOL_RANGE_JPEG || isFullRangePixFmt(fmt);
    m.depth = depth;
    const double unit = (double)(1 << (depth - 8));
    if (m.fullRange) {
        m.yScale = m.cScale = (double)((1 << depth) - 1);
        m.yOffset = 0;
        m.cOffset = (double)(1 << (depth - 1));
    } else {
        m.yScale = 219 * unit;
        m.yOffset = 16 * unit;
        m.cScale = 224 * unit;
        m.cOffset = 128 * unit;
    }

    const double kr = m.kr, kb = m.kb, kg = 1 - kr - kb;
    // R' = Y' + 2 (1 - kr) Cr', B' = Y' + 2 (1 - kb) Cb', G' from Y' = kr R' + kg G' + kb B'.
    const double rCr = 2 * (1 - kr), bCb = 2 * (1 - kb);
    const double fwd[3][3] = {
        {1, 0, rCr},
        {1, -kb * bCb / kg, -kr * rCr / kg},
        {1, bCb, 0},
    };
    const double inv[3][3] = {
        {kr, kg, kb},
        {-kr / bCb, -kg / bCb, (1 - kb) / bCb},
        {(1 - kr) / rCr, -kg / rCr, -kb / rCr},
    };
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            m.toRgb[i][j] = fwd[i][j];
            m.toYuv[i][j] = inv[i][j];
        }
    return m;
}

ColourMatrix colourMatrixFor(const AVFrame *f, int depth)
{
    return colourMatrixFor(f->colorspace, f->color_range, (AVPixelFormat)f->format, f->height, depth);
}

ChromaSiting chromaSitingFor(AVChromaLocation loc, int log2x, int log2y)
{
    const int fx = 1 << log2x, fy = 1 << log2y;
    bool xCentred = false;
    int yPlace = 1;  // 0 top, 1 centre, 2 bottom
    switch (loc) {
    case AVCHROMA_LOC_CENTER: xCentred = true; break;
    case AVCHROMA_LOC_TOPLEFT: yPlace = 0; break;
    case AVCHROMA_LOC_TOP:
        xCentred = true;
        yPlace = 0;
        break;
    case AVCHROMA_LOC_BOTTOMLEFT: yPlace = 2; break;
    case AVCHROMA_LOC_BOTTOM:
        xCentred = true;
        yPlace = 2;
        break;
    default:  // LEFT and untagged
        break;
    }
    ChromaSiting s;
    s.x2 = xCentred ? fx - 1 : 0;
    s.y2 = yPlace * (fy - 1);
    return s;
}
