// The frei0r plugin of one module (ZELT_FREI0R_MODULE; plugin.cpp is built
// into this program) through its entry points, with whatever the input
// says: the `settings` string (any bytes up to its end or a zero byte), the
// typed parameters (any double, infinities and NaNs included), set before
// the first frame and again between frames, and frames of any content.
//
// Checked: a parameter reads back as it was set, bit for bit; every output
// pixel keeps the input's alpha; the input frame is never written; nothing
// outside the frames is read or written (guard bytes around both, poisoned
// under AddressSanitizer).
//
// Each instance loads a private copy of the module, which cannot be
// unloaded under the fuzzer (the copy's coverage counters would go with
// it). So one instance per frame size is made the first time that size comes
// up and kept, and every frame comes at time 0: a clock that never moves is
// never a seek, which would load a fresh copy. The plugin sees one long
// sequence (the DC history of frames of earlier inputs carries over; the
// settings do not: every change of a parameter enters all of them afresh).
//
// Input layout (little-endian; missing bytes read as 0):
//   0   size u8 (index into SIZES, mod its length)
//   1   mask u16: bit 0 sets `settings`, bit k the typed parameter k
//   3   again u8: bit 0 sets the parameters again before the second frame,
//       with `settings` empty (the typed ones then decide)
//   4   frames u8 (1 + v mod 3), then a seed u32 per frame
//   ..  the `settings` text: length u8, bytes
//   ..  a double per typed parameter
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/guarded_bitmap.h"


namespace {

struct Size {
    unsigned w, h;
};
// Small frames, and widths and heights past the modules' fixed stores (512,
// 1024 columns, 1026 rows) in few pixels.
const Size SIZES[] = {{1, 1}, {2, 3}, {7, 5}, {16, 16}, {64, 8}, {100, 12}, {513, 2}, {720, 1}, {1030, 1}, {8, 1100}};
const int SIZE_COUNT = sizeof SIZES / sizeof SIZES[0];

[[noreturn]] void fail(const char *what)
{
    fuzz::fail("frei0r_fuzz", what);
}

uint32_t *pixelsOf(const fuzz::GuardedBitmap &frame)
{
    return (uint32_t *)frame.memory();
}

f0r_instance_t kept[SIZE_COUNT];
int typedCount = 0;
bool isText[16];  // the typed parameters that take text (a list, the field order)

void setAll(f0r_instance_t inst, unsigned mask, const std::string &settings, const std::vector<double> &typed)
{
    if (mask & 1) {
        const char *text = settings.c_str();
        f0r_set_param_value(inst, (f0r_param_t)&text, 0);
        const char *back = nullptr;
        f0r_get_param_value(inst, (f0r_param_t)&back, 0);
        if (!back || strcmp(back, text) != 0)
            fail("the settings text does not read back");
    }
    for (int k = 1; k <= typedCount; k++) {
        if (!(mask & (1u << k)))
            continue;
        if (isText[k]) {
            // The same bytes as the settings, so that both take any text.
            const char *text = settings.c_str();
            f0r_set_param_value(inst, (f0r_param_t)&text, k);
            const char *back = nullptr;
            f0r_get_param_value(inst, (f0r_param_t)&back, k);
            // An empty field order reads back as the default it stands for.
            if (!back || (*text && strcmp(back, text) != 0))
                fail("a text parameter does not read back");
            continue;
        }
        double v = typed[k - 1];
        f0r_set_param_value(inst, (f0r_param_t)&v, k);
        double back = 0;
        f0r_get_param_value(inst, (f0r_param_t)&back, k);
        if (memcmp(&back, &v, sizeof v) != 0)
            fail("a typed parameter does not read back");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The timing log of zelt's full processing goes nowhere.
    setenv("ZELT_TIMING_LOG", "/dev/null", 1);
    if (!f0r_init())
        fail("the plugin did not initialise");
    f0r_plugin_info_t info;
    f0r_get_plugin_info(&info);
    typedCount = info.num_params - 1;
    if (typedCount < 0 || typedCount > 15)
        fail("an unexpected number of parameters");
    for (int k = 1; k <= typedCount; k++) {
        f0r_param_info_t p;
        f0r_get_param_info(&p, k);
        isText[k] = p.type == F0R_PARAM_STRING;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Reader in{data, size};
    const int s = in.u8() % SIZE_COUNT;
    const unsigned mask = in.u16();
    const bool again = in.u8() & 1;
    const int frames = 1 + in.u8() % 3;
    std::vector<uint32_t> seeds;
    for (int f = 0; f < frames; f++)
        seeds.push_back(in.u32());
    const std::string settings = in.chunk();
    std::vector<double> typed;
    for (int k = 0; k < typedCount; k++)
        typed.push_back(in.f64());

    const Size sz = SIZES[s];
    f0r_instance_t &inst = kept[s];
    if (!inst) {
        inst = f0r_construct(sz.w, sz.h);
        if (!inst)
            fail("no instance for a valid size");
    }
    const size_t pixels = (size_t)sz.w * sz.h;
    fuzz::GuardedBitmap input, output;
    input.allocate((int)sz.w, (int)sz.h, 0);
    output.allocate((int)sz.w, (int)sz.h, 0);
    std::vector<uint32_t> before(pixels);
    setAll(inst, mask, settings, typed);
    for (int f = 0; f < frames; f++) {
        if (f == 1 && again)
            setAll(inst, mask | 1, std::string(), typed);
        uint32_t rng = seeds[f] * 2654435761u + 1;
        if (!rng)
            rng = 1;
        for (size_t i = 0; i < pixels; i++)
            pixelsOf(input)[i] = before[i] = fuzz::xorshift(rng);
        memset(pixelsOf(output), 0x5A, pixels * 4);
        f0r_update(inst, 0.0, pixelsOf(input), pixelsOf(output));
        if (!input.guardsIntact() || !output.guardsIntact())
            fail("a byte outside the frames was written");
        if (memcmp(pixelsOf(input), before.data(), pixels * 4) != 0)
            fail("the input frame was written");
        for (size_t i = 0; i < pixels; i++)
            if ((pixelsOf(output)[i] ^ before[i]) >> 24)
                fail("an output pixel lost the input's alpha");
    }
    return 0;
}
