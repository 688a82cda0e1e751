// Full processing, plain and timed: every row rebuilt from its first N
// harmonics, the row loop timed with the time-stamp counter, one log line per
// frame. It exists to measure the engine.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <x86intrin.h>

#include "engine/engine.h"
#include "modes/guards.h"
#include "modes/modes.h"

namespace zelt {

namespace {

// The count as its low 32 bits followed by its high 32 bits. Deliberately
// not serialised: the figure is a rough per-frame cost.
void readCycleCounter(uint32_t value[2])
{
    const uint64_t t = __rdtsc();
    value[0] = (uint32_t)t;
    value[1] = (uint32_t)(t >> 32);
}

const char *timingLogPath()
{
#ifdef _WIN32
    return "d:\\debug.out";
#else
    const char *path = getenv("ZELT_TIMING_LOG");
    return path && *path ? path : "debug.out";
#endif
}

}  // namespace

void FilterFull(FrameView src, FrameView dst, int harmonics)
{
    const int w = src.w, h = src.h;
    if (w < 4)
        return;
    const int n = harmonicsForWidth(harmonics, w);
    if (n < 0 && harmonics > 0)
        return;
    const int count = n > 0 ? n : 0;
    // Rows go through the engine a chunk at a time: unpacked, analysed, then
    // rebuilt straight into the destination.
    const int chunk = frameChunkRows(w, h, count);

    // Every sample the analysis reads is unpacked first: no need to clear.
    int16_t *planar = (int16_t *)malloc((size_t)chunk * 3 * (size_t)w * sizeof(int16_t));
    if (!planar)
        return;
    // A log that cannot be opened costs the frame its line, not its processing.
    FILE *log = fopen(timingLogPath(), "a");
    int32_t *work = (int32_t *)malloc(synthesiseRowsWorkBytes(w, count));
    HarmonicCoeffs *coeffs = (HarmonicCoeffs *)malloc((size_t)chunk * (count ? count : 1) * sizeof(HarmonicCoeffs));

    if (work && coeffs) {
        const ptrdiff_t planarStride = 3 * (ptrdiff_t)w;
        uint32_t start[2], end[2];
        readCycleCounter(start);
        for (int r0 = 0; r0 < h; r0 += chunk) {
            const int rows = h - r0 < chunk ? h - r0 : chunk;
            analysePixelRows(src.row(r0), src.pitch, rows, n, w, planar, planarStride, coeffs, count);
            synthesiseRows(coeffs, count, rows, n, w, dst.row(r0), dst.pitch, work);
        }
        readCycleCounter(end);
        const uint64_t elapsed = ((uint64_t)end[1] << 32 | end[0]) - ((uint64_t)start[1] << 32 | start[0]);
        if (log)
            fprintf(log, "FilterFull (MMX) - %u : %u clocks (%ld x %ld %ld Harms)\n", (unsigned)(elapsed >> 32),
                    (unsigned)elapsed, (long)w, (long)h, (long)n);
    }
    if (log)
        fclose(log);
    free(coeffs);
    free(work);
    free(planar);
}

}  // namespace zelt
