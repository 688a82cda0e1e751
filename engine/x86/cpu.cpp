// CPU feature detection.
#include <cpuid.h>
#include <stdint.h>

#include "engine/dsp.h"

#if !defined(__i386__)
static uint64_t readXcr0()
{
    uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (uint64_t)hi << 32 | lo;
}
#endif

CpuLevel cpuDetect()
{
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return CPU_SCALAR;
    if (!(d & bit_MMX))
        return CPU_SCALAR;
    if (!(d & bit_SSE2))
        return CPU_MMX;
#if defined(__i386__)
    // The 32-bit modules keep to MMX and SSE2.
    return CPU_SSE2;
#else
    const bool osxsave = (c & bit_OSXSAVE) != 0;
    if (!osxsave || (readXcr0() & 0x6) != 0x6)
        return CPU_SSE2;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d) || !(b & bit_AVX2))
        return CPU_SSE2;
    // The AVX-512 level uses F, BW, VL, DQ and VNNI (every processor with
    // VNNI has the other four; checked all the same).
    const bool avx512 = (b & bit_AVX512F) && (b & bit_AVX512BW) && (b & bit_AVX512VL) && (b & bit_AVX512DQ) &&
                        (c & bit_AVX512VNNI) && (readXcr0() & 0xe6) == 0xe6;
    return avx512 ? CPU_AVX512 : CPU_AVX2;
#endif
}
