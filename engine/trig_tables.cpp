// Trigonometric tables.
#include "engine/trig_tables.h"

#include <math.h>
#include <stdint.h>
#include <stdlib.h>

#include "engine/dsp.h"

TrigTables trigTables = {nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0, nullptr};
TrigTableAllocator trigTableAllocator = malloc;

namespace {

// Single precision is part of the result: it makes every angle slightly off.
float rowPeriod(int n)
{
    return (float)((double)n * 0.15915494309644432);
}

template <typename T>
void fillPair(T *sinTab, T *cosTab, int rows, int n, AngleForm form, double scale)
{
    const float d = rowPeriod(n);
    for (int i = 0; i < rows; i++) {
        const double c = 1.0 / (double)d;
        T *sr = sinTab + (ptrdiff_t)i * n;
        T *cr = cosTab + (ptrdiff_t)i * n;
        for (int j = 0; j < n; j++) {
            // Not reduced to one period before sine and cosine.
            const double angle =
                form == ANGLE_RECIPROCAL ? ((double)j * c) * (double)i : (double)((int64_t)j * i) / (double)d;
            sr[j] = (T)(sin(angle) * scale);
            cr[j] = (T)(cos(angle) * scale);
        }
    }
}

// rows x n x element bytes; false when negative or beyond 32 bits.
bool tableBytes(int rows, int n, size_t element, size_t *bytes)
{
    if (rows < 0 || n < 0)
        return false;
    const uint64_t total = (uint64_t)rows * (uint64_t)n * (uint64_t)element;
    if (total > UINT32_MAX)
        return false;
    *bytes = (size_t)total;
    return true;
}

// Both blocks are stored whatever the outcome; an obtained block stays
// referenced so that the next free of the pair releases it.
template <typename T>
int buildPair(T **sinTab, T **cosTab, int rows, int n, AngleForm form, double scale)
{
    size_t bytes = 0;
    if (!tableBytes(rows, n, sizeof(T), &bytes)) {
        *sinTab = nullptr;
        *cosTab = nullptr;
        return -1;
    }
    // malloc(0) may return null; ask for at least one byte so that an empty
    // table is a success, as it is for the host.
    *sinTab = (T *)trigTableAllocator(bytes ? bytes : 1);
    *cosTab = (T *)trigTableAllocator(bytes ? bytes : 1);
    if (!*sinTab || !*cosTab)
        return -1;
    fillPair(*sinTab, *cosTab, rows, n, form, scale);
    return 0;
}

}  // namespace

size_t analysisQuadsBytes(int rows, int n)
{
    if (rows < 2 || n < 4)
        return 0;
    const uint64_t bytes = (uint64_t)((rows - 1 + 3) / 4) * (uint64_t)(n / 4) * 64u;
    return bytes > UINT32_MAX ? 0 : (size_t)bytes;
}

void fillAnalysisQuads(const int16_t *sinTab, const int16_t *cosTab, int rows, int n, uint32_t *quads)
{
    const int groups = rows < 2 ? 0 : (rows - 1 + 3) / 4, perRow = n / 4;
    for (int g = 0; g < groups; g++) {
        for (int q = 0; q < perRow; q++) {
            uint32_t *d = quads + ((size_t)g * perRow + q) * 16;
            for (int k = 0; k < 4; k++) {
                const int h = 4 * g + 1 + k;
                for (int t = 0; t < 2; t++) {
                    const int16_t *row = (t == 0 ? sinTab : cosTab) + (ptrdiff_t)h * n + 4 * q;
                    for (int p = 0; p < 2; p++)
                        d[4 * k + 2 * t + p] =
                            h < rows ? (uint32_t)(uint16_t)row[2 * p] | (uint32_t)(uint16_t)row[2 * p + 1] << 16 : 0;
                }
            }
        }
    }
}

void fillTrigTable16(int16_t *sinTab, int16_t *cosTab, int rows, int n, AngleForm form)
{
    fillPair(sinTab, cosTab, rows, n, form, 1024.0);
}

void fillTrigTable32(int32_t *sinTab, int32_t *cosTab, int rows, int n, AngleForm form)
{
    fillPair(sinTab, cosTab, rows, n, form, 256.0);
}

// Only the whole-frame analysis of the AVX-512 level reads the group layout:
// under a lower cap it would be memory nobody reads.
static bool analysisQuadsWanted()
{
    return dspCpuLevel() >= CPU_AVX512;
}

int buildTrigTables16(int rows, int n, AngleForm form)
{
    const int rc = buildPair(&trigTables.sin16, &trigTables.cos16, rows, n, form, 1024.0);
    trigTables.rows16 = rc == 0 ? rows : 0;
    trigTables.n16 = rc == 0 ? n : 0;
    // Optional: without it the analysis runs row by row, so a failure here is
    // not a failure of the build (and does not go through the seam above).
    free(trigTables.quads16);
    trigTables.quads16 = nullptr;
    const size_t quadBytes = rc == 0 && analysisQuadsWanted() ? analysisQuadsBytes(rows, n) : 0;
    if (quadBytes > 0) {
        trigTables.quads16 = (uint32_t *)malloc(quadBytes);
        if (trigTables.quads16)
            fillAnalysisQuads(trigTables.sin16, trigTables.cos16, rows, n, trigTables.quads16);
    }
    return rc;
}

int buildTrigTables32(int rows, int n, AngleForm form)
{
    const int rc = buildPair(&trigTables.sin32, &trigTables.cos32, rows, n, form, 256.0);
    trigTables.rows32 = rc == 0 ? rows : 0;
    trigTables.n32 = rc == 0 ? n : 0;
    return rc;
}

// Pointers are reset so that nothing can read a freed table.
void freeTrigTables16()
{
    free(trigTables.sin16);
    free(trigTables.cos16);
    free(trigTables.quads16);
    trigTables.sin16 = nullptr;
    trigTables.cos16 = nullptr;
    trigTables.quads16 = nullptr;
    trigTables.rows16 = trigTables.n16 = 0;
}

void freeTrigTables32()
{
    free(trigTables.sin32);
    free(trigTables.cos32);
    trigTables.sin32 = nullptr;
    trigTables.cos32 = nullptr;
    trigTables.rows32 = trigTables.n32 = 0;
}
