// Kernels of the harmonic transform engine and the table of their
// implementations.
//
// Every kernel signature is written once here as a typedef; the scalar
// reference (*_c), the SIMD variants (*_mmx, *_sse2, *_avx2, *_avx512) and the
// tests all use it. The reference is the executable definition: every variant
// gives bit-identical results for every input the callers can produce.
//
// Fixed-point budget
//   samples     unpacked rows are 0..255 in int16 lanes; synthesised rows any int16
//   sin16/cos16 scale 1024 (10 fractional bits), |entry| <= 1024
//   coeffs      scale 256 (8 fractional bits); analysis gives |c| <= 2 x 255 x 256
//               for h >= 1 and 0..65280 for harmonic 0
//   analysis    sum of x[j] x entry in int32, wrapping; it cannot wrap while the
//               plane has at most 8224 samples; coefficient = trunc(2 x (V >> 2) x scale)
//               with scale = float(1 / w), in double
//   synthesis   acc[j] += sin16(h,j) x s + cos16(h,j) x c with s, c saturated to int16
//               (harmonic 0's cosinePart is not saturated: 1024 x 65280 fits), int32
//               wrapping; sample = sat16(acc >> 18), arithmetic shift
//   sin32/cos32 scale 256, |entry| <= 256; correlation sums byte x entry in int32
//               (no wrap below 32,896 pixels); field = trunc(2 x sum / w)
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/coeffs.h"

// One row of 32-bit pixels (bytes B, G, R, X) into three int16 planes laid
// end to end, w samples apart. Pixels go in pairs, so an odd width leaves its
// last pixel (and the last sample of each plane) alone.
typedef void (*unpack_row_fn)(const uint32_t *src, int16_t *planar, int w);
// Back to pixels with 0..255 saturation; byte 3 becomes 0.
typedef void (*pack_row_fn)(const int16_t *planar, uint32_t *dst, int w);
// Harmonics first..end-1 of a planar row (planes w samples apart, w >= 4)
// into out[0..end-first-1], against 16-bit tables with rows of `stride`
// entries (stride = table n = w). Harmonic 0 takes the mean-level path.
typedef void (*analyse_row_fn)(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out,
                               const int16_t *sin16, const int16_t *cos16, int stride);
// Rebuild a row from harmonics 0..count-1 into `work` (>= 16 x w bytes, 4-byte
// aligned): on return it starts with the planar row (planes w samples apart),
// samples 0..2*(w/2)-1 of each plane written. The rest of the 16 x w bytes,
// including the last sample of each plane for an odd w, is scratch whose
// content differs between variants; nothing beyond 16 x w bytes is touched.
typedef void (*synthesise_row_fn)(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                                  const int16_t *cos16, int stride);
// Harmonic h of a pixel row straight from the bytes, against 32-bit tables
// (h = 0 gives 256 x the channel means without reading the tables). The SIMD
// forms multiply in 16-bit lanes: table entries must lie in -32768..32767
// (the tables hold -256..256).
typedef void (*correlate_row_fn)(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32,
                                 const int32_t *cos32, int stride);

// Whole-frame forms. A frame's hot work is analysis plus synthesis of every
// row; taking many rows per call lets a kernel keep a slice of the tables in
// cache while several rows pass over it, instead of streaming the tables once
// per row. Each equals its row kernels applied row after row.

// The 16-bit pair as the whole-frame kernels read it: `rows` harmonics of `n`
// samples, and optionally the same pair in the harmonic-group layout of
// fillAnalysisQuads (engine/trig_tables.h), or null.
struct Tables16View {
    const int16_t *sin16, *cos16;
    int rows, n;
    const uint32_t *quads;
};

// analyseRow (harmonics 0..count-1) of `rows` planar rows: row r at
// planar + r x planarStride, its records at out + r x outStride. Needs
// 4 <= w <= n and count <= tables->rows.
typedef void (*analyse_rows_fn)(const int16_t *planar, ptrdiff_t planarStride, int rows, int count, int w,
                                HarmonicCoeffs *out, ptrdiff_t outStride, const Tables16View *tables);
// synthesiseRow then packRow for `rows` rows: row r from the records at
// coeffs + r x coeffStride into the pixels at (uint8_t *)dst + r x pitch
// (pixels 0..2*(w/2)-1; an odd width's last pixel is left alone). `work` is
// scratch of at least synthesiseRowsWorkBytes(w, count) bytes, 4-byte
// aligned. Needs 2 <= w <= n and count <= tables->rows.
typedef void (*synthesise_rows_fn)(const HarmonicCoeffs *coeffs, ptrdiff_t coeffStride, int rows, int count, int w,
                                   uint32_t *dst, ptrdiff_t pitch, int32_t *work, const Tables16View *tables);

// The scratch of synthesise_rows_fn: what the row form needs (16 x w bytes),
// or the coefficients of 32 rows packed to 16-bit pairs, whichever is more.
static inline size_t synthesiseRowsWorkBytes(int w, int count)
{
    const size_t row = (size_t)16 * (size_t)(w > 0 ? w : 0);
    const size_t packed = (size_t)32 * 12 * (size_t)(count > 0 ? count : 0) + 64;
    return row > packed ? row : packed;
}

// Instruction-set levels, ascending. A cap limits the dispatch to a level and
// the ones below it.
enum CpuLevel { CPU_SCALAR = 0, CPU_MMX = 1, CPU_SSE2 = 2, CPU_AVX2 = 3, CPU_AVX512 = 4 };

// The AVX2 and AVX-512 forms of every layer exist in 64-bit builds only; the
// 32-bit modules use MMX and SSE2.
#if defined(__x86_64__)
#define ZELT_HAVE_AVX_KERNELS 1
#else
#define ZELT_HAVE_AVX_KERNELS 0
#endif

// Highest level this CPU (and this build) supports.
CpuLevel cpuDetect();
// The level named by the ZELT_CPU environment variable ("scalar", "mmx",
// "sse2", "avx2", "avx512"); when unset or unknown, no cap natively and MMX
// in the 32-bit modules.
CpuLevel cpuCapFromEnv();
const char *cpuLevelName(CpuLevel level);
// Parse a level name; returns -1 for an unknown name.
int cpuLevelFromName(const char *name);

// One instruction-set cap for every dispatch table of the process (engine,
// modes, display): the environment's (cpuCapFromEnv) until set here. Returns
// the effective level.
CpuLevel dspSetCpuCap(CpuLevel cap);
// The effective level: min(cap, cpuDetect()). Whatever picks a form by level
// (the tables, the layout of the trigonometric tables) asks this.
CpuLevel dspCpuLevel();
// Changes with every dspSetCpuCap, so that a table knows it is stale.
unsigned dspCapGeneration();

// The process-wide dispatch table of one layer, one pattern for all: filled by
// `init` on first use and again after the cap changes.
template <class Table>
struct LazyDspTable {
    CpuLevel (*init)(Table *table, CpuLevel cap);
    Table table;
    unsigned generation;  // of the cap it was filled for; 0 before the first fill

    const Table &get()
    {
        const unsigned now = dspCapGeneration();
        if (generation != now) {
            init(&table, dspCpuLevel());
            generation = now;
        }
        return table;
    }
};

struct EngineDsp {
    unpack_row_fn unpackRow;
    pack_row_fn packRow;
    analyse_row_fn analyseRow;
    synthesise_row_fn synthesiseRow;
    correlate_row_fn correlateRow;
    analyse_rows_fn analyseRows;
    synthesise_rows_fn synthesiseRows;
};

// Fill `dsp` with the reference, then overwrite each entry with the best
// variant up to min(cap, cpuDetect()). Returns the level actually used.
CpuLevel engineDspInit(EngineDsp *dsp, CpuLevel cap);
// The process-wide table, at dspCpuLevel().
const EngineDsp &engineDsp();

// Scalar references.
void unpack_row_c(const uint32_t *src, int16_t *planar, int w);
void pack_row_c(const int16_t *planar, uint32_t *dst, int w);
void analyse_row_c(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                   const int16_t *cos16, int stride);
void synthesise_row_c(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                      const int16_t *cos16, int stride);
void correlate_row_c(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32, const int32_t *cos32,
                     int stride);
void analyse_rows_c(const int16_t *planar, ptrdiff_t planarStride, int rows, int count, int w, HarmonicCoeffs *out,
                    ptrdiff_t outStride, const Tables16View *tables);
void synthesise_rows_c(const HarmonicCoeffs *coeffs, ptrdiff_t coeffStride, int rows, int count, int w, uint32_t *dst,
                       ptrdiff_t pitch, int32_t *work, const Tables16View *tables);
