// Frames, tables and settings for the stage tests.
#pragma once

#include <stdint.h>
#include <string.h>

#include <random>
#include <vector>

#include "abi/vdfilter.h"
#include "engine/trig_tables.h"
#include "host/settings.h"
#include "modes/modes.h"

// A source and a destination bitmap of w x h pixels, rows `pitch` bytes
// apart (4 x w + padBytes), wired into a FilterActivation as the host does.
struct TestFrame {
    int w, h;
    ptrdiff_t pitch;
    std::vector<uint32_t> srcBuf, dstBuf;
    VFBitmap src{}, dst{};
    FilterActivation fa{};

    TestFrame(int width, int height, int padBytes = 0)
        : w(width), h(height), pitch(4 * (ptrdiff_t)width + padBytes),
          srcBuf((size_t)(pitch / 4) * (height > 0 ? height : 0) + 1),
          dstBuf((size_t)(pitch / 4) * (height > 0 ? height : 0) + 1)
    {
        for (VFBitmap *bm : {&src, &dst}) {
            bm->depth = 32;
            bm->w = w;
            bm->h = h;
            bm->pitch = pitch;
            bm->size = pitch * (h > 0 ? h : 0);
        }
        src.data = srcBuf.data();
        dst.data = dstBuf.data();
        fa.src = &src;
        fa.dst = &dst;
    }
    TestFrame(const TestFrame &) = delete;

    uint32_t &s(int x, int y) { return srcBuf[(size_t)y * (pitch / 4) + x]; }
    uint32_t &d(int x, int y) { return dstBuf[(size_t)y * (pitch / 4) + x]; }

    // What the chain does before the stages run.
    void chainCopy() { memcpy(dstBuf.data(), srcBuf.data(), (size_t)src.size); }

    void fillSource(uint32_t seed)
    {
        std::mt19937 rng(seed);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                s(x, y) = rng();
    }
    // Every padding word of both bitmaps.
    void fillPadding(uint32_t seed)
    {
        std::mt19937 rng(seed);
        for (int y = 0; y < h; y++)
            for (ptrdiff_t x = w; x < pitch / 4; x++) {
                srcBuf[(size_t)y * (pitch / 4) + x] = rng();
                dstBuf[(size_t)y * (pitch / 4) + x] = rng();
            }
    }
};

inline uint32_t grey(int v, int x = 0)
{
    return (uint32_t)x << 24 | (uint32_t)v << 16 | (uint32_t)v << 8 | (uint32_t)v;
}
inline uint32_t rgb(int r, int g, int b, int x = 0)
{
    return (uint32_t)x << 24 | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
}
inline int red(uint32_t p) { return (int)(p >> 16 & 0xff); }
inline int green(uint32_t p) { return (int)(p >> 8 & 0xff); }
inline int blue(uint32_t p) { return (int)(p & 0xff); }

// Both table pairs for width w, as the start callback builds them.
struct TablesFor {
    explicit TablesFor(int w, AngleForm form = ANGLE_RECIPROCAL)
    {
        buildTrigTables16(w, w, form);
        buildTrigTables32(w, w, form);
    }
    ~TablesFor()
    {
        freeTrigTables32();
        freeTrigTables16();
    }
};

// Defaults for the test's duration, restored afterwards.
struct SettingsScope {
    FilterSettings saved;
    SettingsScope() : saved(filterSettings) { filterSettings = defaultFilterSettings(); }
    ~SettingsScope() { filterSettings = saved; }
};
