// Worked examples, edge cases and randomised cross-checks of the engine.
#include "tests/engine/engine_cases.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <sstream>

#include "engine/trig_tables.h"
#include "engine/x86/dsp_x86.h"
#include "tests/engine/guarded.h"

namespace enginecases {

bool Check::eq(long long expected, long long actual, const std::string &what)
{
    if (expected == actual) {
        passed_++;
        return true;
    }
    std::ostringstream text;
    text << what << ": expected " << expected << ", got " << actual;
    failed_++;
    onFailure_(text.str());
    return false;
}

bool Check::that(bool ok, const std::string &what)
{
    if (ok) {
        passed_++;
        return true;
    }
    failed_++;
    onFailure_(what);
    return false;
}

namespace {

std::string str(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string str(const char *fmt, ...)
{
    char buf[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return buf;
}

// splitmix64: fast, and the same sequence on every platform.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    uint32_t u32() { return (uint32_t)next(); }
    int16_t i16() { return (int16_t)(uint16_t)next(); }
    // Uniform in lo..hi (inclusive).
    int32_t range(int32_t lo, int32_t hi) { return lo + (int32_t)(next() % (uint64_t)((int64_t)hi - lo + 1)); }

private:
    uint64_t state_;
};

template <typename T>
std::vector<T> filled(size_t n, T v)
{
    return std::vector<T>(n, v);
}

// A full 16-bit or 32-bit table pair, rows x n.
struct Tables16 {
    std::vector<int16_t> sin, cos;
    int rows = 0, n = 0;
};
struct Tables32 {
    std::vector<int32_t> sin, cos;
    int rows = 0, n = 0;
};

Tables16 realTables16(int rows, int n, AngleForm form = ANGLE_RECIPROCAL)
{
    Tables16 t;
    t.rows = rows;
    t.n = n;
    t.sin.resize((size_t)rows * n);
    t.cos.resize((size_t)rows * n);
    fillTrigTable16(t.sin.data(), t.cos.data(), rows, n, form);
    return t;
}

Tables32 realTables32(int rows, int n, AngleForm form = ANGLE_RECIPROCAL)
{
    Tables32 t;
    t.rows = rows;
    t.n = n;
    t.sin.resize((size_t)rows * n);
    t.cos.resize((size_t)rows * n);
    fillTrigTable32(t.sin.data(), t.cos.data(), rows, n, form);
    return t;
}

// The first `rows` rows of a pair, in blocks that end at an inaccessible page.
template <typename T>
struct GuardedPair {
    Guarded sin, cos;
    GuardedPair(const std::vector<T> &s, const std::vector<T> &c, int rows, int n)
        : sin((size_t)rows * n * sizeof(T)), cos((size_t)rows * n * sizeof(T))
    {
        memcpy(sin.as<T>(), s.data(), sin.size());
        memcpy(cos.as<T>(), c.data(), cos.size());
    }
};

bool sameRecord(const HarmonicCoeffs &a, const HarmonicCoeffs &b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

std::string recordText(const HarmonicCoeffs &h)
{
    return str("{r %d,%d g %d,%d b %d,%d}", h.red.sinePart, h.red.cosinePart, h.green.sinePart, h.green.cosinePart,
               h.blue.sinePart, h.blue.cosinePart);
}

void expectRecord(Check &check, const HarmonicCoeffs &got, const int32_t expected[6], const std::string &what)
{
    const int32_t *g = (const int32_t *)&got;
    static const char *const field[6] = {"red sine",     "red cosine", "green sine",
                                         "green cosine", "blue sine",  "blue cosine"};
    for (int f = 0; f < 6; f++)
        check.eq(expected[f], g[f], what + " " + field[f]);
}

// Stops a cross-check after a handful of mismatches.
struct FailureBudget {
    int left = 8;
    bool spent() const { return left <= 0; }
};

bool report(Check &check, FailureBudget &budget, bool ok, const std::string &what)
{
    if (ok)
        return check.that(true, what);
    budget.left--;
    return check.that(false, what);
}

}  // namespace

// ---------------------------------------------------------------- variants

// clang-format off
#define VARIANT(fn, level) {#fn, fn, level}
// clang-format on

std::vector<Variant<unpack_row_fn>> unpackVariants()
{
    std::vector<Variant<unpack_row_fn>> all = {
        VARIANT(unpack_row_c, CPU_SCALAR),
        VARIANT(unpack_row_mmx, CPU_MMX),
        VARIANT(unpack_row_sse2, CPU_SSE2),
#if ZELT_HAVE_AVX_KERNELS
        VARIANT(unpack_row_avx2, CPU_AVX2),
#endif
    };
    all.erase(std::remove_if(all.begin(), all.end(), [](const auto &v) { return v.level > cpuDetect(); }), all.end());
    return all;
}

std::vector<Variant<pack_row_fn>> packVariants()
{
    std::vector<Variant<pack_row_fn>> all = {
        VARIANT(pack_row_c, CPU_SCALAR),
        VARIANT(pack_row_mmx, CPU_MMX),
        VARIANT(pack_row_sse2, CPU_SSE2),
#if ZELT_HAVE_AVX_KERNELS
        VARIANT(pack_row_avx2, CPU_AVX2),
#endif
    };
    all.erase(std::remove_if(all.begin(), all.end(), [](const auto &v) { return v.level > cpuDetect(); }), all.end());
    return all;
}

std::vector<Variant<analyse_row_fn>> analyseVariants()
{
    std::vector<Variant<analyse_row_fn>> all = {
        VARIANT(analyse_row_c, CPU_SCALAR),
        VARIANT(analyse_row_mmx, CPU_MMX),
        VARIANT(analyse_row_sse2, CPU_SSE2),
#if ZELT_HAVE_AVX_KERNELS
        VARIANT(analyse_row_avx2, CPU_AVX2),
        VARIANT(analyse_row_avx512, CPU_AVX512),
#endif
    };
    all.erase(std::remove_if(all.begin(), all.end(), [](const auto &v) { return v.level > cpuDetect(); }), all.end());
    return all;
}

std::vector<Variant<synthesise_row_fn>> synthesiseVariants()
{
    std::vector<Variant<synthesise_row_fn>> all = {
        VARIANT(synthesise_row_c, CPU_SCALAR),
        VARIANT(synthesise_row_mmx, CPU_MMX),
        VARIANT(synthesise_row_sse2, CPU_SSE2),
#if ZELT_HAVE_AVX_KERNELS
        VARIANT(synthesise_row_avx2, CPU_AVX2),
        VARIANT(synthesise_row_avx512, CPU_AVX512),
#endif
    };
    all.erase(std::remove_if(all.begin(), all.end(), [](const auto &v) { return v.level > cpuDetect(); }), all.end());
    return all;
}

std::vector<Variant<correlate_row_fn>> correlateVariants()
{
    std::vector<Variant<correlate_row_fn>> all = {
        VARIANT(correlate_row_c, CPU_SCALAR),
        VARIANT(correlate_row_mmx, CPU_MMX),
        VARIANT(correlate_row_sse2, CPU_SSE2),
#if ZELT_HAVE_AVX_KERNELS
        VARIANT(correlate_row_avx2, CPU_AVX2),
        VARIANT(correlate_row_avx512, CPU_AVX512),
#endif
    };
    all.erase(std::remove_if(all.begin(), all.end(), [](const auto &v) { return v.level > cpuDetect(); }), all.end());
    return all;
}

// ---------------------------------------------------------------- tables

void tableExamples(Check &check)
{
    static const int sin1[8] = {0, 724, 1023, 724, 0, -724, -1023, -724};
    static const int cos1[8] = {1024, 724, 0, -724, -1023, -724, 0, 724};
    static const int sin2[8] = {0, 1023, 0, -1023, 0, 1023, 0, -1023};
    static const int cos2[8] = {1024, 0, -1023, 0, 1023, 0, -1023, 0};
    static const int sin32row1[8] = {0, 181, 255, 181, 0, -181, -255, -181};
    static const int cos32row1[8] = {256, 181, 0, -181, -255, -181, 0, 181};
    for (AngleForm form : {ANGLE_RECIPROCAL, ANGLE_DIVIDE}) {
        const char *name = form == ANGLE_RECIPROCAL ? "reciprocal" : "divide";
        const Tables16 t = realTables16(8, 8, form);
        const Tables32 u = realTables32(8, 8, form);
        for (int j = 0; j < 8; j++) {
            check.eq(sin1[j], t.sin[8 + j], str("%s n=8 sin16(1,%d)", name, j));
            check.eq(cos1[j], t.cos[8 + j], str("%s n=8 cos16(1,%d)", name, j));
            check.eq(sin2[j], t.sin[16 + j], str("%s n=8 sin16(2,%d)", name, j));
            check.eq(cos2[j], t.cos[16 + j], str("%s n=8 cos16(2,%d)", name, j));
            check.eq(sin32row1[j], u.sin[8 + j], str("%s n=8 sin32(1,%d)", name, j));
            check.eq(cos32row1[j], u.cos[8 + j], str("%s n=8 cos32(1,%d)", name, j));
        }
        const Tables16 big = realTables16(720, 720, form);
        static const int start720[4] = {0, 8, 17, 26};
        for (int j = 0; j < 4; j++)
            check.eq(start720[j], big.sin[720 + j], str("%s n=720 sin16(1,%d)", name, j));
        // Row 0 and column 0: sine 0, cosine the full scale; every entry in range.
        bool row0 = true, col0 = true, inRange = true;
        for (int i = 0; i < 720; i++) {
            row0 = row0 && big.sin[i] == 0 && big.cos[i] == 1024;
            col0 = col0 && big.sin[(size_t)i * 720] == 0 && big.cos[(size_t)i * 720] == 1024;
        }
        for (size_t k = 0; k < big.sin.size(); k++)
            inRange = inRange && abs(big.sin[k]) <= 1024 && abs(big.cos[k]) <= 1024;
        check.that(row0, str("%s n=720 row 0 is sine 0, cosine 1024", name));
        check.that(col0, str("%s n=720 column 0 is sine 0, cosine 1024", name));
        check.that(inRange, str("%s n=720 entries within -1024..1024", name));
        const Tables32 big32 = realTables32(100, 100, form);
        bool edges32 = true;
        for (int i = 0; i < 100; i++)
            edges32 = edges32 && big32.sin[i] == 0 && big32.cos[i] == 256 && big32.sin[(size_t)i * 100] == 0 &&
                      big32.cos[(size_t)i * 100] == 256;
        check.that(edges32, str("%s n=100 32-bit row 0 and column 0", name));
    }
    // The two angle forms differ by at most one unit anywhere.
    const Tables16 a = realTables16(720, 720, ANGLE_RECIPROCAL), b = realTables16(720, 720, ANGLE_DIVIDE);
    int worst = 0;
    for (size_t k = 0; k < a.sin.size(); k++)
        worst = std::max(worst, std::max(abs(a.sin[k] - b.sin[k]), abs(a.cos[k] - b.cos[k])));
    check.that(worst <= 1, str("angle forms differ by %d units at most, expected <= 1", worst));
}

namespace {

// Allocator stand-ins for the failure paths.
int allocCalls = 0;
int failOnCall = 0;  // 1-based call that fails; 0 = none
size_t lastRequest = 0;
void *patternedBlock = nullptr;

void *scriptedAlloc(size_t bytes)
{
    allocCalls++;
    lastRequest = bytes;
    if (allocCalls == failOnCall)
        return nullptr;
    void *p = malloc(bytes);
    if (p)
        memset(p, 0x77, bytes);  // lets the test see that nothing was written
    if (!patternedBlock)
        patternedBlock = p;
    return p;
}

void *refusingAlloc(size_t bytes)
{
    allocCalls++;
    lastRequest = bytes;
    return nullptr;
}

void resetScript(int failOn)
{
    allocCalls = 0;
    failOnCall = failOn;
    lastRequest = 0;
    patternedBlock = nullptr;
}

bool stillPatterned(const void *p, size_t bytes)
{
    const unsigned char *b = (const unsigned char *)p;
    for (size_t i = 0; i < bytes; i++)
        if (b[i] != 0x77)
            return false;
    return true;
}

}  // namespace

void tableLifecycle(Check &check)
{
    const TrigTableAllocator saved = trigTableAllocator;

    check.eq(0, buildTrigTables16(8, 8, ANGLE_RECIPROCAL), "build16(8, 8)");
    check.eq(0, buildTrigTables32(8, 8, ANGLE_RECIPROCAL), "build32(8, 8)");
    check.that(trigTables.sin16 && trigTables.cos16 && trigTables.sin32 && trigTables.cos32, "all four blocks exist");
    check.eq(8, trigTables.n16, "16-bit pair row length");
    freeTrigTables32();
    freeTrigTables16();
    check.that(!trigTables.sin16 && !trigTables.cos16 && !trigTables.sin32 && !trigTables.cos32,
               "free resets the pointers");
    freeTrigTables16();  // again: skips the null pointers

    check.eq(0, buildTrigTables16(0, 0, ANGLE_RECIPROCAL), "empty 16-bit pair");
    check.eq(0, buildTrigTables32(0, 5, ANGLE_DIVIDE), "empty 32-bit pair");
    freeTrigTables16();
    freeTrigTables32();

    check.eq(-1, buildTrigTables16(-1, 8, ANGLE_RECIPROCAL), "negative rows");
    freeTrigTables16();

    // Byte sizes beyond 32 bits are refused before any allocation, on 32- and
    // 64-bit builds alike (never a wrapped, too small block).
    trigTableAllocator = refusingAlloc;
    resetScript(0);
    check.eq(-1, buildTrigTables16(100000, 100000, ANGLE_RECIPROCAL), "16-bit pair of 100000 x 100000");
    check.eq(-1, buildTrigTables32(100000, 100000, ANGLE_RECIPROCAL), "32-bit pair of 100000 x 100000");
    check.eq(-1, buildTrigTables32(32768, 32768, ANGLE_RECIPROCAL), "32-bit pair of 32768 x 32768 (2^32 bytes)");
    check.eq(-1, buildTrigTables32(1, 1 << 30, ANGLE_RECIPROCAL), "32-bit pair of 2^32 bytes");
    check.eq(0, allocCalls, "no allocation attempted for sizes beyond 32 bits");
    check.that(!trigTables.sin32 && !trigTables.cos32, "refused build leaves null pointers");
    // The largest representable size is asked for as such.
    check.eq(-1, buildTrigTables16(1, 2147483647, ANGLE_RECIPROCAL),
             "16-bit pair of 2^32 - 2 bytes, refused by allocator");
    check.eq(2, allocCalls, "both blocks requested");
    check.eq(4294967294ll, (long long)lastRequest, "requested byte size");
    freeTrigTables16();
    freeTrigTables32();

    // Cosine block fails: -1, the sine block stays referenced, nothing written,
    // and the next free releases it (the leak checker sees the rest).
    trigTableAllocator = scriptedAlloc;
    resetScript(2);
    check.eq(-1, buildTrigTables16(8, 8, ANGLE_RECIPROCAL), "16-bit build with failing cosine block");
    check.that(trigTables.sin16 != nullptr && trigTables.cos16 == nullptr, "sine block kept, cosine null");
    check.that(trigTables.sin16 && stillPatterned(trigTables.sin16, 128), "no entry written on failure");
    check.eq(0, trigTables.n16, "failed pair has no shape");
    freeTrigTables16();
    check.that(trigTables.sin16 == nullptr, "free resets the pointers");

    resetScript(1);
    check.eq(-1, buildTrigTables32(8, 8, ANGLE_RECIPROCAL), "32-bit build with failing sine block");
    check.that(trigTables.sin32 == nullptr && trigTables.cos32 != nullptr, "cosine block still obtained and kept");
    check.that(trigTables.cos32 && stillPatterned(trigTables.cos32, 256), "no entry written on failure");
    freeTrigTables32();
    check.that(trigTables.cos32 == nullptr, "free after a failed build resets the pointers");

    trigTableAllocator = saved;
}

// ---------------------------------------------------------------- planar

void planarExamples(Check &check, const EngineDsp &dsp)
{
    // Two pixels: (10, 20, 30, 200) and (1, 2, 3, 4); planes start at 0, 2, 4.
    const uint32_t px[2] = {10u | 20u << 8 | 30u << 16 | 200u << 24, 1u | 2u << 8 | 3u << 16 | 4u << 24};
    int16_t planar[6];
    dsp.unpackRow(px, planar, 2);
    static const int wantPlanes[6] = {10, 1, 20, 2, 30, 3};
    for (int i = 0; i < 6; i++)
        check.eq(wantPlanes[i], planar[i], str("w=2 unpacked sample %d", i));
    uint32_t back[2] = {0xdeadbeef, 0xdeadbeef};
    dsp.packRow(planar, back, 2);
    check.eq(10u | 20u << 8 | 30u << 16, back[0], "pixel (10, 20, 30, 200) packs back with byte 3 = 0");
    check.eq(1u | 2u << 8 | 3u << 16, back[1], "second pixel packs back with byte 3 = 0");

    // Saturation of samples -5, 0, 255, 256, 32767 (and -32768).
    static const int16_t samples[6] = {-5, 0, 255, 256, 32767, -32768};
    static const int bytes[6] = {0, 0, 255, 255, 255, 0};
    int16_t sat[18];
    for (int i = 0; i < 6; i++) {
        sat[i] = samples[i];          // blue
        sat[6 + i] = samples[5 - i];  // green, reversed
        sat[12 + i] = 100;            // red
    }
    uint32_t out[6];
    dsp.packRow(sat, out, 6);
    for (int i = 0; i < 6; i++) {
        check.eq(bytes[i], (long long)(out[i] & 0xff), str("blue sample %d saturates", samples[i]));
        check.eq(bytes[5 - i], (long long)(out[i] >> 8 & 0xff), str("green sample %d saturates", samples[5 - i]));
        check.eq(100, (long long)(out[i] >> 16 & 0xff), "red passes unchanged");
        check.eq(0, (long long)(out[i] >> 24), "byte 3 is 0");
    }

    // Odd width: planes w apart, the last pixel and last samples untouched.
    uint32_t odd[5];
    for (int i = 0; i < 5; i++)
        odd[i] = (uint32_t)(i + 1) * 0x01020304u;
    int16_t planes[15];
    for (int i = 0; i < 15; i++)
        planes[i] = -7;
    dsp.unpackRow(odd, planes, 5);
    for (int p = 0; p < 3; p++) {
        for (int j = 0; j < 4; j++)
            check.eq((long long)(odd[j] >> (8 * p) & 0xff), planes[p * 5 + j], str("w=5 plane %d sample %d", p, j));
        check.eq(-7, planes[p * 5 + 4], str("w=5 plane %d last sample untouched", p));
    }
    uint32_t dst[5] = {1, 2, 3, 4, 0xcafe};
    dsp.packRow(planes, dst, 5);
    for (int j = 0; j < 4; j++)
        check.eq((long long)(odd[j] & 0xffffff), (long long)dst[j], str("w=5 pixel %d round trip", j));
    check.eq(0xcafe, (long long)dst[4], "w=5 last pixel untouched");
}

// ---------------------------------------------------------------- analysis

namespace {

// The worked row of width 8: blue 10..80, green twice blue, red all 100.
std::vector<int16_t> workedPlanar8()
{
    std::vector<int16_t> x(24);
    for (int j = 0; j < 8; j++) {
        x[j] = (int16_t)(10 * (j + 1));
        x[8 + j] = (int16_t)(20 * (j + 1));
        x[16 + j] = 100;
    }
    return x;
}

// Records of harmonics 0, 1, 2 of that row (red, green, blue; sine, cosine).
const int32_t kWorked8[3][6] = {
    {0, 25600, 0, 23040, 0, 11520},
    {0, 6, -12355, -5113, -6177, -2557},
    {0, 6, -5115, -5113, -2557, -2557},
};

}  // namespace

void analysisExamples(Check &check, const EngineDsp &dsp)
{
    const Tables16 t8 = realTables16(8, 8);
    const std::vector<int16_t> x = workedPlanar8();
    HarmonicCoeffs out[3];
    dsp.analyseRow(x.data(), 0, 3, 8, out, t8.sin.data(), t8.cos.data(), 8);
    for (int b = 0; b < 3; b++)
        expectRecord(check, out[b], kWorked8[b], str("w=8 harmonic %d", b));
    // Ranges that start later fill the array from its start.
    for (int first = 1; first < 3; first++) {
        HarmonicCoeffs part[2];
        dsp.analyseRow(x.data(), first, 3, 8, part, t8.sin.data(), t8.cos.data(), 8);
        for (int b = first; b < 3; b++)
            expectRecord(check, part[b - first], kWorked8[b], str("w=8 harmonic %d from first=%d", b, first));
    }

    // An empty range writes nothing.
    HarmonicCoeffs untouched;
    memset(&untouched, 0x5a, sizeof untouched);
    HarmonicCoeffs copy = untouched;
    dsp.analyseRow(x.data(), 0, 0, 8, &untouched, t8.sin.data(), t8.cos.data(), 8);
    dsp.analyseRow(x.data(), 2, 2, 8, &untouched, t8.sin.data(), t8.cos.data(), 8);
    check.that(sameRecord(copy, untouched), "count 0 leaves the output untouched");

    // Constant rows: the mean covers exactly the w samples; 255 gives 65280.
    const Tables16 t256 = realTables16(2, 256);
    for (int level : {100, 255}) {
        std::vector<int16_t> flat(3 * 256, (int16_t)level);
        HarmonicCoeffs rec[2];
        dsp.analyseRow(flat.data(), 0, 2, 256, rec, t256.sin.data(), t256.cos.data(), 256);
        const int32_t mean[6] = {0, 256 * level, 0, 256 * level, 0, 256 * level};
        const int32_t zero[6] = {0, 0, 0, 0, 0, 0};
        expectRecord(check, rec[0], mean, str("w=256 constant %d harmonic 0", level));
        if (level == 100)
            expectRecord(check, rec[1], zero, "w=256 constant 100 harmonic 1");
    }

    // w = 10: only 8 samples are read but the divisor stays 10.
    const Tables16 t10 = realTables16(1, 10);
    std::vector<int16_t> flat10(30, 100);
    HarmonicCoeffs rec10;
    dsp.analyseRow(flat10.data(), 0, 1, 10, &rec10, t10.sin.data(), t10.cos.data(), 10);
    const int32_t want10[6] = {0, 20480, 0, 20480, 0, 20480};
    expectRecord(check, rec10, want10, "w=10 constant 100 harmonic 0");
    // ... and the two samples beyond the last group of four have no influence.
    flat10[8] = flat10[9] = flat10[18] = flat10[29] = 255;
    dsp.analyseRow(flat10.data(), 0, 1, 10, &rec10, t10.sin.data(), t10.cos.data(), 10);
    expectRecord(check, rec10, want10, "w=10 samples 8 and 9 ignored");
}

// ---------------------------------------------------------------- synthesis

namespace {

std::vector<HarmonicCoeffs> recordsOf(const int32_t fields[][6], int count)
{
    std::vector<HarmonicCoeffs> recs((size_t)count);
    for (int h = 0; h < count; h++)
        memcpy(&recs[h], fields[h], sizeof(HarmonicCoeffs));
    return recs;
}

// Synthesise into a 16 x w byte buffer prefilled with `fill`; returns the 3w
// samples at its start.
std::vector<int16_t> synthesise(const EngineDsp &dsp, const std::vector<HarmonicCoeffs> &recs, int count, int w,
                                const Tables16 &t, unsigned char fill = 0xa5)
{
    std::vector<int32_t> work((size_t)4 * w);
    memset(work.data(), fill, work.size() * 4);
    dsp.synthesiseRow(work.data(), count, w, recs.data(), t.sin.data(), t.cos.data(), t.n);
    std::vector<int16_t> planes((size_t)3 * w);
    memcpy(planes.data(), work.data(), planes.size() * 2);
    return planes;
}

}  // namespace

void synthesisExamples(Check &check, const EngineDsp &dsp)
{
    const Tables16 t8 = realTables16(8, 8);
    // Records of harmonics 0..3 of the worked row: 0..2 as listed, 3 measured.
    std::vector<HarmonicCoeffs> recs(4);
    analyse_row_c(workedPlanar8().data(), 0, 4, 8, recs.data(), t8.sin.data(), t8.cos.data(), 8);
    for (int b = 0; b < 3; b++)
        check.that(memcmp(&recs[b], kWorked8[b], 24) == 0, str("worked records %d as listed", b));

    static const int planes2[3][8] = {
        {35, 20, 20, 35, 54, 69, 69, 54}, {70, 41, 41, 69, 109, 138, 138, 110}, {100, 100, 100, 99, 99, 99, 100, 100}};
    static const int planes4[3][8] = {
        {15, 15, 35, 34, 54, 55, 74, 74}, {30, 30, 70, 69, 109, 110, 149, 149}, {100, 100, 99, 100, 99, 100, 99, 100}};
    static const int planes1[3] = {45, 90, 100};
    for (int count : {0, 1, 2, 4}) {
        const std::vector<int16_t> got = synthesise(dsp, recs, count, 8, t8);
        for (int p = 0; p < 3; p++)
            for (int j = 0; j < 8; j++) {
                const int want = count == 0 ? 0 : count == 1 ? planes1[p] : count == 2 ? planes2[p][j] : planes4[p][j];
                check.eq(want, got[p * 8 + j], str("w=8 count %d plane %d sample %d", count, p, j));
            }
    }

    // The buffer's previous content does not matter.
    check.that(synthesise(dsp, recs, 4, 8, t8, 0x00) == synthesise(dsp, recs, 4, 8, t8, 0xff) &&
                   synthesise(dsp, recs, 0, 8, t8, 0xff) == std::vector<int16_t>(24, 0),
               "result independent of the buffer's previous content");

    // Harmonic 0 is carried at full size: means of 100 and 200 come back.
    for (int level : {100, 200}) {
        const int32_t mean[1][6] = {{0, 256 * level, 0, 256 * level, 0, 256 * level}};
        const std::vector<int16_t> got = synthesise(dsp, recordsOf(mean, 1), 1, 8, t8);
        check.that(got == std::vector<int16_t>(24, (int16_t)level),
                   str("mean level %d comes back as %d", level, level));
    }

    // Saturation of coefficients of h != 0: 40000 acts as 32767, -40000 as
    // -32768. Blue harmonic 1 alone: sample 2 meets sin16(1, 2) = 1023,
    // sample 0 meets cos16(1, 0) = 1024: floor(1023 x 32767 / 2^18) = 127,
    // floor(1023 x -32768 / 2^18) = -128, floor(1024 x 32767 / 2^18) = 127.
    for (int sign : {1, -1}) {
        const int32_t big[2][6] = {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 40000 * sign, 0}};
        const int32_t capped[2][6] = {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, sign > 0 ? 32767 : -32768, 0}};
        const std::vector<int16_t> a = synthesise(dsp, recordsOf(big, 2), 2, 8, t8);
        check.that(a == synthesise(dsp, recordsOf(capped, 2), 2, 8, t8),
                   str("sine %d acts as %d", 40000 * sign, sign > 0 ? 32767 : -32768));
        check.eq(sign > 0 ? 127 : -128, a[2], str("sine %d, blue sample 2", 40000 * sign));
        const int32_t bigCos[2][6] = {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 40000 * sign}};
        check.eq(sign > 0 ? 127 : -128, synthesise(dsp, recordsOf(bigCos, 2), 2, 8, t8)[0],
                 str("cosine %d, blue sample 0", 40000 * sign));
    }

    // A sum of -1 before the shift gives -1 (floor), +1 gives 0: harmonic 0
    // cosine -1 (x 1024) and harmonic 1 sine 1 meeting sin16(1, 2) = 1023.
    for (int sign : {1, -1}) {
        const int32_t fields[2][6] = {{0, -sign, 0, -sign, 0, -sign}, {sign, 0, sign, 0, sign, 0}};
        const std::vector<int16_t> got = synthesise(dsp, recordsOf(fields, 2), 2, 8, t8);
        for (int p = 0; p < 3; p++)
            check.eq(sign > 0 ? -1 : 0, got[p * 8 + 2], str("sum %d at plane %d sample 2", -sign, p));
    }

    // Odd width: samples 0..w-2 of each plane, planes w apart.
    const Tables16 t9 = realTables16(1, 9);
    const int32_t mean9[1][6] = {{0, 256 * 30, 0, 256 * 20, 0, 256 * 10}};
    const std::vector<int16_t> got9 = synthesise(dsp, recordsOf(mean9, 1), 1, 9, t9);
    for (int p = 0; p < 3; p++)
        for (int j = 0; j < 8; j++)
            check.eq(10 * (p + 1), got9[p * 9 + j], str("w=9 plane %d sample %d", p, j));
}

// ---------------------------------------------------------------- correlation

void correlationExamples(Check &check, const EngineDsp &dsp)
{
    const Tables32 t8 = realTables32(8, 8);
    static const int red[8] = {200, 171, 100, 29, 0, 29, 100, 171};
    uint32_t row[8];
    for (int j = 0; j < 8; j++)
        row[j] = (uint32_t)((j & 1) ? 255 : 0) | 50u << 8 | (uint32_t)red[j] << 16 | (uint32_t)(j * 37) << 24;
    HarmonicCoeffs h0, h1, h4;
    dsp.correlateRow(row, 8, &h0, 0, t8.sin.data(), t8.cos.data(), 8);
    dsp.correlateRow(row, 8, &h1, 1, t8.sin.data(), t8.cos.data(), 8);
    dsp.correlateRow(row, 8, &h4, 4, t8.sin.data(), t8.cos.data(), 8);
    const int32_t want0[6] = {0, 25600, 0, 12800, 0, 32640};
    expectRecord(check, h0, want0, "w=8 harmonic 0");
    check.eq(25651, h1.red.cosinePart, "w=8 harmonic 1 red cosine");
    check.eq(0, h1.red.sinePart, "w=8 harmonic 1 red sine");
    check.eq(12, h1.green.cosinePart, "w=8 harmonic 1 green cosine (table row sums to 1)");
    check.eq(-65025, h4.blue.cosinePart, "w=8 harmonic 4 blue cosine");
    check.eq(0, h4.blue.sinePart, "w=8 harmonic 4 blue sine");

    // Byte 3 has no influence.
    uint32_t clean[8];
    for (int j = 0; j < 8; j++)
        clean[j] = row[j] & 0xffffff;
    for (int a : {0, 1, 4}) {
        HarmonicCoeffs x, y;
        dsp.correlateRow(row, 8, &x, a, t8.sin.data(), t8.cos.data(), 8);
        dsp.correlateRow(clean, 8, &y, a, t8.sin.data(), t8.cos.data(), 8);
        check.that(sameRecord(x, y), str("byte 3 ignored at harmonic %d", a));
    }

    // Harmonic 0 of constant bytes: 256 x each; w = 3 with red bytes summing
    // to 1 gives 85 (256 / 3 rounded down).
    std::vector<uint32_t> flat(13, 254u | 99u << 8 | 7u << 16);
    HarmonicCoeffs c;
    dsp.correlateRow(flat.data(), 13, &c, 0, nullptr, nullptr, 13);
    const int32_t wantFlat[6] = {0, 256 * 7, 0, 256 * 99, 0, 256 * 254};
    expectRecord(check, c, wantFlat, "w=13 constant bytes harmonic 0");
    const uint32_t three[3] = {1u << 16, 0, 0};
    dsp.correlateRow(three, 3, &c, 0, nullptr, nullptr, 3);
    check.eq(85, c.red.cosinePart, "w=3 red sum 1");

    // Negative sums truncate toward zero: -3 / 8 x 2 -> 0, -4 -> -1.
    int32_t s[16] = {0}, k[16] = {0};
    for (int j = 0; j < 8; j++)
        s[j] = k[j] = 256;  // row 0 (unused)
    s[8] = -3;
    k[8] = -4;
    const uint32_t one[8] = {1u << 16 | 1u << 8 | 1u, 0, 0, 0, 0, 0, 0, 0};
    dsp.correlateRow(one, 8, &c, 1, s, k, 8);
    const int32_t wantTrunc[6] = {0, -1, 0, -1, 0, -1};
    expectRecord(check, c, wantTrunc, "w=8 sums -3 and -4");

    // w = 0: six zeros, neither row nor tables read.
    memset(&c, 0x5a, sizeof c);
    dsp.correlateRow(nullptr, 0, &c, 3, nullptr, nullptr, 0);
    const int32_t zeros[6] = {0, 0, 0, 0, 0, 0};
    expectRecord(check, c, zeros, "w=0");
}

// ---------------------------------------------------------------- cross-checks

namespace {

std::vector<int> analysisWidths(Sweep sweep)
{
    if (sweep == Sweep::Quick)
        return {4, 5, 7, 8, 10, 13, 16, 31, 36, 64, 66, 129, 256, 260, 513, 720};
    return {4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  15,  16,  17,  19,   20,   23,   24,   28,   31,   32,
            33,  36,  44,  47,  48,  52,  60,  63,  64,  65,  68,  76,  92,  96,   100,  124,  127,  128,  129,  132,
            191, 255, 256, 257, 260, 300, 383, 511, 512, 513, 516, 720, 721, 1000, 1023, 1024, 1028, 1500, 2047, 2048};
}

std::vector<int> synthesisWidths(Sweep sweep)
{
    if (sweep == Sweep::Quick)
        return {2, 3, 4, 5, 8, 9, 14, 17, 34, 63, 66, 130, 257, 720};
    return {2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  14,   15,   16,   17,   18,  30,  31,
            32,  33,  34,  46,  62,  63,  64,  65,  66,  94,  126,  127,  128,  129,  130, 190, 255,
            256, 257, 258, 300, 383, 511, 512, 513, 720, 721, 1023, 1024, 1025, 2047, 2048};
}

// Counts worth trying at a width: small ones, the chunk edges of the SIMD
// forms, and the top.
std::vector<int> countsFor(int w, Sweep sweep)
{
    std::vector<int> c = {0, 1, 2, 3, 4, 5, 7, 9};
    if (sweep == Sweep::Full && w <= 600)
        for (int k : {6, 8, 13, 31, 32, 33, 63, 64, 65, 127, 128, 129, 130, 200, 257})
            c.push_back(k);
    for (int k : {w / 2, w - 1, w})
        c.push_back(k);
    std::sort(c.begin(), c.end());
    c.erase(std::unique(c.begin(), c.end()), c.end());
    c.erase(std::remove_if(c.begin(), c.end(), [w](int k) { return k < 0 || k > w; }), c.end());
    return c;
}

enum Content { RANDOM8, ZERO, FULL, ALTERNATE, RANDOM16, CONTENTS };
const char *const contentName[CONTENTS] = {"random 0..255", "all 0", "all 255", "alternating 0/255", "random int16"};

int16_t sampleOf(Content c, Random &rng, int j)
{
    switch (c) {
    case RANDOM8: return (int16_t)(rng.u32() & 0xff);
    case ZERO: return 0;
    case FULL: return 255;
    case ALTERNATE: return (int16_t)((j & 1) ? 255 : 0);
    default: return rng.i16();
    }
}

Tables16 randomTables16(int rows, int n, Random &rng)
{
    Tables16 t;
    t.rows = rows;
    t.n = n;
    t.sin.resize((size_t)rows * n);
    t.cos.resize((size_t)rows * n);
    for (auto &v : t.sin)
        v = rng.i16();
    for (auto &v : t.cos)
        v = rng.i16();
    return t;
}

}  // namespace

void crossCheckUnpack(Check &check, unpack_row_fn fn, Sweep sweep)
{
    Random rng(11);
    FailureBudget budget;
    const int maxW = sweep == Sweep::Full ? 300 : 70;
    std::vector<int> widths;
    for (int w = 2; w <= maxW; w++)
        widths.push_back(w);
    for (int w : {511, 720, 721, 1024, 1025, 1920})
        widths.push_back(w);
    for (int w : widths) {
        for (int content = 0; content < 3 && !budget.spent(); content++) {
            Guarded src((size_t)w * 4);
            for (int j = 0; j < w; j++)
                src.as<uint32_t>()[j] = content == 0 ? rng.u32() : content == 1 ? 0u : 0xffffffffu;
            Guarded out((size_t)w * 6);
            std::vector<int16_t> want((size_t)w * 3);
            for (int i = 0; i < 3 * w; i++)
                want[i] = out.as<int16_t>()[i] = (int16_t)(0x1234 + i);
            unpack_row_c(src.as<uint32_t>(), want.data(), w);
            fn(src.as<uint32_t>(), out.as<int16_t>(), w);
            report(check, budget, memcmp(want.data(), out.as<int16_t>(), want.size() * 2) == 0 && out.canaryIntact(),
                   str("unpack w=%d content %d matches the reference, nothing written outside", w, content));
        }
    }
}

void crossCheckPack(Check &check, pack_row_fn fn, Sweep sweep)
{
    Random rng(12);
    FailureBudget budget;
    const int maxW = sweep == Sweep::Full ? 300 : 70;
    std::vector<int> widths;
    for (int w = 2; w <= maxW; w++)
        widths.push_back(w);
    for (int w : {511, 720, 721, 1024, 1025, 1920})
        widths.push_back(w);
    static const int16_t extremes[] = {-32768, -256, -1, 0, 1, 127, 128, 254, 255, 256, 32767};
    for (int w : widths) {
        for (int content = 0; content < 3 && !budget.spent(); content++) {
            Guarded src((size_t)w * 6);
            for (int i = 0; i < 3 * w; i++)
                src.as<int16_t>()[i] = content == 0   ? rng.i16()
                                       : content == 1 ? (int16_t)rng.range(-20, 275)
                                                      : extremes[rng.u32() % 11];
            Guarded out((size_t)w * 4);
            std::vector<uint32_t> want((size_t)w);
            for (int j = 0; j < w; j++)
                want[j] = out.as<uint32_t>()[j] = 0x9abcdef0u + (uint32_t)j;
            pack_row_c(src.as<int16_t>(), want.data(), w);
            fn(src.as<int16_t>(), out.as<uint32_t>(), w);
            report(check, budget, memcmp(want.data(), out.as<uint32_t>(), want.size() * 4) == 0 && out.canaryIntact(),
                   str("pack w=%d content %d matches the reference, nothing written outside", w, content));
        }
    }
}

void crossCheckAnalyse(Check &check, analyse_row_fn fn, Sweep sweep)
{
    Random rng(21);
    FailureBudget budget;
    for (int w : analysisWidths(sweep)) {
        const Tables16 real = realTables16(w, w);
        const bool withRandomTables = w <= (sweep == Sweep::Full ? 1024 : 300);
        const Tables16 noise = withRandomTables ? randomTables16(w, w, rng) : Tables16();
        // (first, end) ranges: from 0 for every count, and a few later starts.
        std::vector<std::pair<int, int>> ranges;
        for (int count : countsFor(w, sweep))
            ranges.push_back({0, count});
        for (auto r : {std::make_pair(1, w), std::make_pair(w / 2, w), std::make_pair(w - 1, w),
                       std::make_pair(1, std::min(w, 6)), std::make_pair(2, std::min(w, 3))})
            ranges.push_back(r);
        for (int t = 0; t < (withRandomTables ? 2 : 1); t++) {
            const Tables16 &tab = t == 0 ? real : noise;
            for (auto [first, end] : ranges) {
                const int n = end - first;
                const bool big = (long long)n * w > 20000;
                GuardedPair<int16_t> rows(tab.sin, tab.cos, std::max(end, 0), w);
                for (int content = 0; content < CONTENTS && !budget.spent(); content++) {
                    if (big && content != RANDOM8 && content != RANDOM16 && content != FULL)
                        continue;
                    Guarded planar((size_t)w * 6);
                    for (int i = 0; i < 3 * w; i++)
                        planar.as<int16_t>()[i] = sampleOf((Content)content, rng, i % w);
                    std::vector<HarmonicCoeffs> want((size_t)std::max(n, 0));
                    analyse_row_c(planar.as<int16_t>(), first, end, w, want.data(), tab.sin.data(), tab.cos.data(), w);
                    Guarded out(sizeof(HarmonicCoeffs) * (size_t)std::max(n, 0));
                    memset(out.as<char>(), 0x5a, out.size());
                    fn(planar.as<int16_t>(), first, end, w, out.as<HarmonicCoeffs>(), rows.sin.as<int16_t>(),
                       rows.cos.as<int16_t>(), w);
                    int bad = -1;
                    for (int k = 0; k < n && bad < 0; k++)
                        if (!sameRecord(want[k], out.as<HarmonicCoeffs>()[k]))
                            bad = k;
                    std::string what = str("analyse w=%d harmonics %d..%d, %s, %s tables", w, first, end - 1,
                                           contentName[content], t == 0 ? "real" : "random");
                    if (bad >= 0)
                        what += str(": harmonic %d expected %s, got %s", first + bad, recordText(want[bad]).c_str(),
                                    recordText(out.as<HarmonicCoeffs>()[bad]).c_str());
                    else if (!out.canaryIntact())
                        what += ": wrote below the output";
                    report(check, budget, bad < 0 && out.canaryIntact(), what);
                }
            }
        }
    }
}

namespace {

enum CoeffKind { C_RANDOM16, C_RANDOM32, C_EXTREME, C_MEASURED, C_ZERO, COEFF_KINDS };
const char *const coeffName[COEFF_KINDS] = {"random int16", "random int32", "extremes", "measured", "zero"};

std::vector<HarmonicCoeffs> coefficients(CoeffKind kind, int count, int w, const Tables16 &real, Random &rng)
{
    std::vector<HarmonicCoeffs> recs((size_t)std::max(count, 1));
    static const int32_t extremes[] = {INT32_MIN, INT32_MAX, -40000, 40000, -32769, -32768,
                                       32767,     32768,     65280,  -1,    0,      1};
    if (kind == C_MEASURED && w >= 4) {
        std::vector<int16_t> x((size_t)3 * w);
        for (auto &v : x)
            v = (int16_t)(rng.u32() & 0xff);
        analyse_row_c(x.data(), 0, count, w, recs.data(), real.sin.data(), real.cos.data(), w);
        return recs;
    }
    for (auto &r : recs) {
        int32_t *f = (int32_t *)&r;
        for (int i = 0; i < 6; i++)
            f[i] = kind == C_RANDOM16   ? rng.range(-32768, 32767)
                   : kind == C_RANDOM32 ? (int32_t)rng.u32()
                   : kind == C_EXTREME  ? extremes[rng.u32() % 12]
                                        : 0;
    }
    return recs;
}

}  // namespace

void crossCheckSynthesise(Check &check, synthesise_row_fn fn, Sweep sweep)
{
    Random rng(31);
    FailureBudget budget;
    for (int w : synthesisWidths(sweep)) {
        const Tables16 real = realTables16(w, w);
        const bool withRandomTables = w <= (sweep == Sweep::Full ? 1024 : 300);
        const Tables16 noise = withRandomTables ? randomTables16(w, w, rng) : Tables16();
        const int n = 2 * (w / 2);
        for (int t = 0; t < (withRandomTables ? 2 : 1); t++) {
            const Tables16 &tab = t == 0 ? real : noise;
            for (int count : countsFor(w, sweep)) {
                const bool big = (long long)count * w > 20000;
                GuardedPair<int16_t> rows(tab.sin, tab.cos, std::max(count, 1), w);
                for (int kind = 0; kind < COEFF_KINDS && !budget.spent(); kind++) {
                    if (big && kind != C_RANDOM32 && kind != C_MEASURED)
                        continue;
                    const std::vector<HarmonicCoeffs> recs = coefficients((CoeffKind)kind, count, w, real, rng);
                    std::vector<int32_t> ref((size_t)4 * w);
                    memset(ref.data(), 0x3c, ref.size() * 4);
                    synthesise_row_c(ref.data(), count, w, recs.data(), tab.sin.data(), tab.cos.data(), w);
                    Guarded work((size_t)16 * w);
                    for (size_t i = 0; i < work.size(); i++)
                        work.as<unsigned char>()[i] = (unsigned char)rng.u32();
                    fn(work.as<int32_t>(), count, w, recs.data(), rows.sin.as<int16_t>(), rows.cos.as<int16_t>(), w);
                    const int16_t *want = (const int16_t *)ref.data();
                    const int16_t *got = work.as<int16_t>();
                    int badPlane = -1, badJ = -1;
                    for (int p = 0; p < 3 && badPlane < 0; p++)
                        for (int j = 0; j < n; j++)
                            if (want[p * w + j] != got[p * w + j]) {
                                badPlane = p;
                                badJ = j;
                                break;
                            }
                    std::string what = str("synthesise w=%d count %d, %s coefficients, %s tables", w, count,
                                           coeffName[kind], t == 0 ? "real" : "random");
                    if (badPlane >= 0)
                        what += str(": plane %d sample %d expected %d, got %d", badPlane, badJ,
                                    want[badPlane * w + badJ], got[badPlane * w + badJ]);
                    else if (!work.canaryIntact())
                        what += ": wrote below the work buffer";
                    report(check, budget, badPlane < 0 && work.canaryIntact(), what);
                }
            }
        }
    }
}

void crossCheckCorrelate(Check &check, correlate_row_fn fn, Sweep sweep)
{
    Random rng(41);
    FailureBudget budget;
    std::vector<int> widths;
    for (int w = 0; w <= (sweep == Sweep::Full ? 80 : 40); w++)
        widths.push_back(w);
    for (int w : {95, 96, 97, 127, 128, 129, 255, 256, 257, 720, 721, 1023, 1024, 2047, 2048})
        widths.push_back(w);
    for (int w : widths) {
        const Tables32 real = realTables32(std::max(w, 1), std::max(w, 1));
        std::vector<int> harmonics = {0, 1, 2, w / 2, w - 1};
        harmonics.erase(
            std::remove_if(harmonics.begin(), harmonics.end(), [w](int a) { return a < 0 || a >= std::max(w, 1); }),
            harmonics.end());
        for (int tableKind = 0; tableKind < 3; tableKind++) {
            Tables32 tab = real;
            if (tableKind > 0)
                for (size_t i = 0; i < tab.sin.size(); i++) {
                    tab.sin[i] = tableKind == 1 ? rng.range(-256, 256) : rng.range(-32768, 32767);
                    tab.cos[i] = tableKind == 1 ? rng.range(-256, 256) : rng.range(-32768, 32767);
                }
            for (int a : harmonics) {
                GuardedPair<int32_t> rows(tab.sin, tab.cos, a + 1, std::max(w, 1));
                for (int content = 0; content < 4 && !budget.spent(); content++) {
                    Guarded row((size_t)w * 4);
                    for (int j = 0; j < w; j++)
                        row.as<uint32_t>()[j] = content == 0   ? rng.u32()
                                                : content == 1 ? 0u
                                                : content == 2 ? 0xffffffffu
                                                               : ((j & 1) ? 0x00ff00ffu : 0xff00ff00u);
                    HarmonicCoeffs want, got;
                    correlate_row_c(row.as<uint32_t>(), w, &want, a, tab.sin.data(), tab.cos.data(), w);
                    memset(&got, 0x5a, sizeof got);
                    fn(row.as<uint32_t>(), w, &got, a, rows.sin.as<int32_t>(), rows.cos.as<int32_t>(), w);
                    report(check, budget, sameRecord(want, got),
                           str("correlate w=%d harmonic %d content %d table kind %d: expected %s, got %s", w, a,
                               content, tableKind, recordText(want).c_str(), recordText(got).c_str()));
                }
            }
        }
    }
    // Rows long enough for the sums to wrap in 32 bits.
    const int w = 40000;
    Tables32 tab;
    tab.sin.assign((size_t)2 * w, 256);
    tab.cos.assign((size_t)2 * w, -256);
    std::vector<uint32_t> bright((size_t)w, 0xffffffffu);
    HarmonicCoeffs want, got;
    for (int a : {0, 1}) {
        correlate_row_c(bright.data(), w, &want, a, tab.sin.data(), tab.cos.data(), w);
        fn(bright.data(), w, &got, a, tab.sin.data(), tab.cos.data(), w);
        report(check, budget, sameRecord(want, got), str("correlate w=40000 harmonic %d wraps like the reference", a));
    }
}

}  // namespace enginecases
