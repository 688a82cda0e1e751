// What differs between the two modules built from this tree. ZELT_VARIANT_LPF
// is set to 1 for zelt_lpf and 0 for zelt by the build.
#pragma once

#include "display/display.h"
#include "engine/trig_tables.h"
#include "modes/modes.h"

#if !defined(ZELT_VARIANT_LPF)
#error "ZELT_VARIANT_LPF must be defined by the build (1: zelt_lpf, 0: zelt)"
#endif

#if ZELT_VARIANT_LPF
namespace variant = zelt_lpf;
#define ZELT_FILTER_NAME "Quorvel Transform Filter (debug - log,lpf)"
constexpr AngleForm kTableAngleForm = ANGLE_RECIPROCAL;
#else
namespace variant = zelt;
#define ZELT_FILTER_NAME "Quorvel Transform Filter (MMX, debug)"
constexpr AngleForm kTableAngleForm = ANGLE_DIVIDE;
#endif

#define ZELT_FILTER_DESC "Applies specified curve filter to video signal."
#define ZELT_FILTER_MAKER "Brantwick"
