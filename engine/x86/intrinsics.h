// The intrinsics header for the AVX-512 kernels. GCC 12's AVX-512 headers
// start some intrinsics from an undefined vector and then warn about it where
// they are inlined; the warning concerns the header, so it is silenced here
// once instead of in every kernel.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif
