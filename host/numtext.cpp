#include "host/numtext.h"

#include <float.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void formatIntText(int32_t value, char *text)
{
    snprintf(text, DIALOG_TEXT_SIZE, "%d", (int)value);
}

namespace {

// Appends `m` with `decimals` digits after an inserted point (none and no
// point when decimals is 0), dropping trailing fraction zeros.
char *putFixed(char *p, uint32_t m, int decimals)
{
    uint32_t div = 1;
    for (int i = 0; i < decimals; i++)
        div *= 10;
    p += sprintf(p, "%u", m / div);
    if (decimals == 0)
        return p;
    *p++ = '.';
    char frac[8];
    sprintf(frac, "%0*u", decimals, m % div);
    int len = decimals;
    while (len > 0 && frac[len - 1] == '0')
        len--;
    memcpy(p, frac, (size_t)len);
    return p + len;
}

}  // namespace

void formatFloatText(double value, char *text)
{
    if (isnan(value)) {
        strcpy(text, "nan");
        return;
    }
    if (isinf(value)) {
        strcpy(text, value < 0 ? "-inf" : "inf");
        return;
    }
    char *p = text;
    if (value < 0)
        *p++ = '-';

    // The first 17 significant digits and the power of ten of the first one.
    // Only digits are taken from the C library's text, so the locale's
    // decimal point does not matter.
    char sci[40];
    snprintf(sci, sizeof sci, "%.16e", fabs(value));
    int digits[17] = {0};
    int k = 0;
    const char *s = sci;
    for (; *s && *s != 'e' && *s != 'E'; s++)
        if (*s >= '0' && *s <= '9' && k < 17)
            digits[k++] = *s - '0';
    int e = *s ? atoi(s + 1) : 0;

    // Three digits, rounded half away from zero on the decimal digits.
    uint32_t m = (uint32_t)(digits[0] * 100 + digits[1] * 10 + digits[2]);
    if (digits[3] >= 5)
        m++;

    if (e >= -1 && e <= 2) {
        // The notation follows the unrounded value: 999.7 becomes "1000".
        p = putFixed(p, m, 2 - e);
        *p = 0;
        return;
    }
    if (m == 1000) {
        m = 100;
        e++;
    }
    p = putFixed(p, m, 2);
    sprintf(p, "e%c%03d", e < 0 ? '-' : '+', e < 0 ? -e : e);
}

int32_t readIntText(const char *text)
{
    const long long v = strtoll(text, nullptr, 10);
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return (int32_t)v;
}

float readFloatText(const char *text)
{
    const double v = strtod(text, nullptr);
    // Rounding to single precision; magnitudes beyond it become infinities
    // explicitly, as the conversion does in hardware.
    if (v > (double)FLT_MAX || v < -(double)FLT_MAX) {
        const float rounded = (float)(v > 0 ? (double)FLT_MAX : -(double)FLT_MAX);
        // Values that still round to FLT_MAX stay finite.
        if (fabs(v) < (double)FLT_MAX + ldexp(1.0, 103))
            return rounded;
        return v > 0 ? INFINITY : -INFINITY;
    }
    return (float)v;
}

void formatFrequencyRange(int32_t n, char *text)
{
    const int32_t t = (int32_t)((uint32_t)n * 15625u);
    const double v = floor((double)t * 0.0001) * 0.01;
    formatFloatText((double)(float)v, text);
}
