// What differs between the two transform modules built from this tree, chosen
// by the build's ZELT_MODULE (host/module_id.h).
#pragma once

#include "display/display.h"
#include "engine/trig_tables.h"
#include "host/module_id.h"
#include "modes/modes.h"

#if ZELT_MODULE == ZELT_MODULE_ZELT_LPF
namespace variant = zelt_lpf;
#define ZELT_FILTER_NAME "Quorvel Transform Filter (debug - log,lpf)"
constexpr AngleForm kTableAngleForm = ANGLE_RECIPROCAL;
#elif ZELT_MODULE == ZELT_MODULE_ZELT
namespace variant = zelt;
#define ZELT_FILTER_NAME "Quorvel Transform Filter (MMX, debug)"
constexpr AngleForm kTableAngleForm = ANGLE_DIVIDE;
#else
#error "host/variant.h belongs to the transform modules"
#endif

#define ZELT_FILTER_DESC "Applies specified curve filter to video signal."
#define ZELT_FILTER_MAKER "Brantwick"
