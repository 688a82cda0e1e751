// Fixed-point sine and cosine tables, built once per run for the source width.
//
// Entry (i, j) of a table with n columns is element i x n + j: row i is
// harmonic i, column j sample position j. Values are trunc(scale x sin/cos of
// the angle 2 pi i j / n), where the period n / (2 pi) is rounded to single
// precision first, so entries whose exact value would be +-scale away from
// angle 0 usually come out one unit short.
//   sin16/cos16: scale 1024, -1024..1024, read by analysis and synthesis
//   sin32/cos32: scale 256,  -256..256,   read by row correlation and the notch
#pragma once

#include <stddef.h>
#include <stdint.h>

// The two modules differ only in how the angle is formed: zelt_lpf multiplies
// by the row's reciprocal, (j x (1/d)) x i; zelt divides, (j x i) / d.
enum AngleForm { ANGLE_RECIPROCAL = 0, ANGLE_DIVIDE = 1 };

struct TrigTables {
    int16_t *sin16;
    int16_t *cos16;
    int32_t *sin32;
    int32_t *cos32;
    int rows16, n16;  // shape of the pair as last built successfully (0 when not built)
    int rows32, n32;
    // The 16-bit pair again in the harmonic-group layout of the whole-frame
    // analysis (see fillAnalysisQuads), built with it where that analysis
    // exists; null otherwise, and when it could not be obtained (the frame
    // kernels then fall back to their row-by-row form).
    uint32_t *quads16;
};

// Process-wide: built by the start callback, freed by the end callback.
extern TrigTables trigTables;

// Build the pairs for `rows` harmonics of `n` samples. Return 0, or -1 when a
// block cannot be allocated or its byte size does not fit in 32 bits (widths
// from 32,768 pixels for the 32-bit pair, 46,341 for the 16-bit pair): the
// size is checked rather than left to wrap, alike on 32- and 64-bit builds. On
// failure no entry is written and whatever block was obtained is released by
// the next free of its pair.
int buildTrigTables16(int rows, int n, AngleForm form);
int buildTrigTables32(int rows, int n, AngleForm form);
void freeTrigTables16();
void freeTrigTables32();

// The allocator of the table blocks (malloc; blocks are released with free).
// Tests put a failing one in its place to reach the failure paths.
typedef void *(*TrigTableAllocator)(size_t bytes);
extern TrigTableAllocator trigTableAllocator;

// Harmonic-group layout of a 16-bit pair, read by the whole-frame analysis,
// which multiplies one broadcast group of four samples by four harmonics'
// sine and cosine entries at once and so needs no horizontal sums.
//
// Harmonics 1..rows-1 in groups of four (group g: harmonics 4g+1..4g+4),
// samples in quads (quad q: samples 4q..4q+3, q < n/4): sixteen dwords per
// (g, q), at dword (g x (n/4) + q) x 16. Dword 4k + 2t + p holds the entries
// of harmonic 4g+1+k at samples 4q+2p (low word) and 4q+2p+1 (high word), of
// the sine (t = 0) or cosine (t = 1) table. Harmonics past rows-1 in the last
// group hold 0. Samples past 4 x (n/4) are not carried.
size_t analysisQuadsBytes(int rows, int n);
void fillAnalysisQuads(const int16_t *sinTab, const int16_t *cosTab, int rows, int n, uint32_t *quads);

// Fill caller-owned blocks of rows x n entries (no allocation).
void fillTrigTable16(int16_t *sinTab, int16_t *cosTab, int rows, int n, AngleForm form);
void fillTrigTable32(int32_t *sinTab, int32_t *cosTab, int rows, int n, AngleForm form);
