// What every fuzz target here shares: reading an input as little-endian
// fields (missing bytes read as 0), the cost class of an input, and stopping
// with a message when a check fails.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace fuzz {

struct Reader {
    const uint8_t *p;
    size_t n;
    uint8_t u8()
    {
        if (!n)
            return 0;
        n--;
        return *p++;
    }
    uint16_t u16()
    {
        const uint16_t lo = u8();
        return (uint16_t)(lo | u8() << 8);
    }
    uint32_t u32()
    {
        const uint32_t lo = u16();
        return lo | (uint32_t)u16() << 16;
    }
    uint64_t u64()
    {
        const uint64_t lo = u32();
        return lo | (uint64_t)u32() << 32;
    }
    double f64()
    {
        const uint64_t bits = u64();
        double v;
        memcpy(&v, &bits, sizeof v);
        return v;
    }
    // A length byte, then up to that many bytes.
    std::string chunk()
    {
        std::string s;
        const uint8_t len = u8();
        for (int i = 0; i < len && n; i++)
            s.push_back((char)u8());
        return s;
    }
};

// One input in `share` is large, by a hash of all its bytes (FNV-1a): every
// mutation draws again, so the share of large inputs the fuzzer runs holds
// whatever its corpus comes to hold. The replay of the seeds plays every
// input as large.
inline bool isLargeInput(const uint8_t *data, size_t size, unsigned share)
{
#if defined(ZELT_FUZZ_REPLAY)
    (void)data;
    (void)size;
    (void)share;
    return true;
#else
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; i++)
        h = (h ^ data[i]) * 16777619u;
    return h % share == 0;
#endif
}

// The frame sizes of the module targets: small ones for most inputs, the
// whole range for large ones (by the high bit of each size word).
const int MAX_WIDTH = 2048, MAX_HEIGHT = 1200, MAX_FRAMES = 6;
const int SMALL_WIDTH = 128, SMALL_HEIGHT = 64;

inline int sizeFrom(uint16_t v, int limit, int small, bool large)
{
    return large && (v & 0x8000) ? 1 + (v & 0x7fff) % limit : 1 + v % small;
}

struct FramePlan {
    uint8_t kind;
    uint32_t seed;
    int w, h;
    bool newRun;  // ends the run before this frame and starts another
};

// The frames of one input: the first size, the padding of every row (in
// pixels), then per frame its kind and seed, a new height if not 0 and a new
// width if not 0 (which starts another run).
inline std::vector<FramePlan> readFramePlans(Reader &in, bool large, int &padding)
{
    int w = sizeFrom(in.u16(), MAX_WIDTH, SMALL_WIDTH, large);
    int h = sizeFrom(in.u16(), MAX_HEIGHT, SMALL_HEIGHT, large);
    padding = in.u8() % 8;
    const int frames = 1 + in.u8() % MAX_FRAMES;
    std::vector<FramePlan> plans;
    for (int f = 0; f < frames; f++) {
        FramePlan fp;
        fp.kind = in.u8();
        fp.seed = in.u32();
        const uint16_t nh = in.u16(), nw = in.u16();
        if (nh)
            h = sizeFrom(nh, MAX_HEIGHT, SMALL_HEIGHT, large);
        fp.newRun = nw != 0 && f > 0;
        if (fp.newRun)
            w = sizeFrom(nw, MAX_WIDTH, SMALL_WIDTH, large);
        fp.w = w;
        fp.h = h;
        plans.push_back(fp);
    }
    return plans;
}

[[noreturn]] inline void fail(const char *target, const char *what)
{
    fprintf(stderr, "%s: %s\n", target, what);
    abort();
}

inline uint64_t hashBytes(const void *data, size_t n, uint64_t h = 14695981039346656037ull)
{
    const uint8_t *p = (const uint8_t *)data;
    for (size_t i = 0; i < n; i++)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

inline uint32_t xorshift(uint32_t &s)
{
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

}  // namespace fuzz
