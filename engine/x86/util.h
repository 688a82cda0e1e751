// Small helpers of the per-instruction-set files.
#pragma once

// The vector primitives of the kernels are one or two instructions each; they
// must disappear into their callers, whatever the inliner's budget says.
#define ALWAYS_INLINE inline __attribute__((always_inline))
#define ALWAYS_INLINE_LAMBDA __attribute__((always_inline))
