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

void formatDecimalText(double value, int decimals, char *text)
{
    if (isnan(value)) {
        strcpy(text, "nan");
        return;
    }
    decimals = decimals < 0 ? 0 : decimals > 6 ? 6 : decimals;
    if (!(fabs(value) < 1e12)) {
        // No point in this form, so the locale cannot show.
        snprintf(text, DIALOG_TEXT_SIZE, "%.0f", value);
        return;
    }
    uint64_t scale = 1;
    for (int i = 0; i < decimals; i++)
        scale *= 10;
    // Below 1e12 x 1e6 the scaled magnitude fits 64 bits.
    const uint64_t m = (uint64_t)floor(fabs(value) * (double)scale + 0.5);
    char *p = text;
    if (value < 0 && m != 0)
        *p++ = '-';
    p += sprintf(p, "%llu", (unsigned long long)(m / scale));
    uint64_t frac = m % scale;
    int len = decimals;
    while (len > 0 && frac % 10 == 0) {
        frac /= 10;
        len--;
    }
    if (len > 0)
        sprintf(p, ".%0*llu", len, (unsigned long long)frac);
    else
        *p = 0;
}

double readDecimalText(const char *text, const char **end)
{
    const char *p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        p++;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    // Up to 15 significant digits are exact in a double, so for the usual
    // exponents the one division or multiplication below rounds only once.
    uint64_t mantissa = 0;
    int significant = 0, exponent = 0;
    bool any = false;
    for (; *p >= '0' && *p <= '9'; p++) {
        any = true;
        if (significant < 15) {
            mantissa = mantissa * 10 + (uint64_t)(*p - '0');
            significant += mantissa != 0;
        } else {
            exponent++;
        }
    }
    if (*p == '.') {
        const char *q = p + 1;
        for (; *q >= '0' && *q <= '9'; q++) {
            any = true;
            if (significant < 15) {
                mantissa = mantissa * 10 + (uint64_t)(*q - '0');
                significant += mantissa != 0;
                exponent--;
            }
        }
        if (any)
            p = q;
    }
    if (!any) {
        if (end)
            *end = text;
        return 0.0;
    }
    if (end)
        *end = p;
    double v = (double)mantissa;
    for (; exponent > 22; exponent -= 22)
        v *= 1e22;
    for (; exponent < -22; exponent += 22)
        v /= 1e22;
    // Powers of ten up to 1e22 are exact doubles; built by multiplying, not
    // by the library's pow, whose last bit differs between C libraries.
    double power = 1.0;
    for (int i = 0; i < (exponent < 0 ? -exponent : exponent); i++)
        power *= 10.0;
    v = exponent < 0 ? v / power : v * power;
    return negative ? -v : v;
}

int readNumberListText(const char *text, double *values, int max)
{
    int count = 0;
    const char *p = text;
    while (*p && count < max) {
        const char *end;
        const double v = readDecimalText(p, &end);
        if (end == p) {
            p++;  // a separator, or text that is not a number
            continue;
        }
        values[count++] = v;
        p = end;
    }
    return count;
}

void formatNumberListText(const double *values, int count, int decimals, char *text)
{
    size_t used = 0;
    text[0] = 0;
    for (int i = 0; i < count; i++) {
        char item[DIALOG_TEXT_SIZE];
        formatDecimalText(values[i], decimals, item);
        const size_t sep = i > 0 ? 2 : 0, len = strlen(item);
        if (used + sep + len + 1 > DIALOG_TEXT_SIZE)
            break;
        if (sep)
            memcpy(text + used, ", ", 2);
        memcpy(text + used + sep, item, len + 1);
        used += sep + len;
    }
}
