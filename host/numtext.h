// Number texts of the configuration dialog.
//
// Texts travel through one buffer of DIALOG_TEXT_SIZE bytes; every writer here
// needs at most 32 of them. Writing and reading are locale-independent apart
// from reading a float, which follows the C library's conversion.
#pragma once

#include <stdint.h>

enum { DIALOG_TEXT_SIZE = 128 };

// Decimal, with a minus sign for negative values.
void formatIntText(int32_t value, char *text);

// Three significant digits, taken from the value's first 17 significant
// decimal digits and rounded half away from zero. A value whose first digit
// has the power of ten e = -1..2 is written in fixed notation with 2 - e
// digits after the point (none and no point for e = 2), anything else as
// d.dde+xxx; trailing fraction zeros are dropped, the point stays:
// 1.0 -> "1.", 11.25 -> "11.3", 0.01 -> "1.e-002", 250.0 -> "250".
// Infinities and NaN come out as "inf", "-inf" and "nan".
void formatFloatText(double value, char *text);

// Like the C conversion of text to a 32-bit long: leading white space, an
// optional sign, decimal digits up to the first other character; no digits
// give 0, and values beyond the 32-bit range saturate (as a 32-bit long does,
// on every platform).
int32_t readIntText(const char *text);

// Like the C conversion of text to a double, rounded to single precision
// (out-of-range magnitudes become infinities).
float readFloatText(const char *text);

// The estimated frequency of n harmonics at the 15625 Hz line rate, in MHz,
// cut to two decimals: float(floor(n x 15625 x 0.0001) x 0.01), with the
// product in wrapping 32-bit arithmetic, written by formatFloatText.
void formatFrequencyRange(int32_t n, char *text);

// Decimal numbers with a point, as the tone dialog exchanges frequencies.
// Both directions ignore the locale: a list of them is separated by commas,
// which some locales use as their decimal point.
//
// Fixed notation with at most `decimals` (0..6) digits after the point,
// rounded half away from zero; trailing fraction zeros are dropped, and the
// point with them: 37.25 -> "37.25", 2.0 -> "2", -0.5 -> "-0.5". Magnitudes
// from 1e12 on are written without a fraction; NaN as "nan".
void formatDecimalText(double value, int decimals, char *text);

// White space, an optional sign, digits with an optional point and fraction
// (no exponent). The first 15 significant digits count, the rest are read as
// zeros. *end (when not null) is set after the number, or to `text` when
// there are no digits (the result is then 0).
double readDecimalText(const char *text, const char **end);

// Every number of a list separated by commas, semicolons or white space, in
// order, at most `max`; text that is not a number is skipped. Returns the
// count.
int readNumberListText(const char *text, double *values, int max);

// The values as formatDecimalText writes them, joined by ", "; a value that
// would not fit in DIALOG_TEXT_SIZE bytes is left out with all after it.
void formatNumberListText(const double *values, int count, int decimals, char *text);
