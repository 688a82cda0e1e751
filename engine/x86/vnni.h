// The intrinsics header for the AVX-512 kernels, and vpdpwssd: acc + pair sums of 16 x 16-bit products,
// wrapping (no saturation).
//
// Written as a one-instruction asm statement with the accumulator tied to the
// destination: GCC 12 allocates registers for the intrinsic so poorly (copies
// and stack spills of every accumulator) that it runs at half speed, and an
// explicit register operand also stops the table loads from being folded into
// every multiply-add that uses them (which would load each vector three times).
// Static inline (see engine/fixed_point.h).
#pragma once

#include "engine/x86/intrinsics.h"

static inline __attribute__((always_inline)) __m512i dpwssd(__m512i acc, __m512i a, __m512i b)
{
    __asm__("vpdpwssd %2, %1, %0" : "+v"(acc) : "v"(a), "v"(b));
    return acc;
}
