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
