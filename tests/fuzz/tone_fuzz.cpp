// Drives the tone module (zelt_tone) through its host interface the way an
// editor does, with whatever the input says: its dialog's tick box and every
// edit's text (any bytes, or numbers written from any 32- and 64-bit values),
// frames from 1 x 1 to 2048 x 1200 with padded rows, their contents (among
// them drifting tones at fractional frequencies, which the module hunts), and
// a short sequence of frames with height changes and new runs at other
// widths.
//
// Each input is played twice: at the instruction-set level it names, over a
// destination filled with one byte, and at the scalar reference over a
// destination filled with another; the two must agree byte for byte (the
// output depends on nothing but the settings and the frames in order). On
// the way: every run returns 0, the source is never written, byte 3 passes
// unchanged, a second start while running is refused, and nothing is read or
// written outside the bitmaps (guard bytes around each).
//
// Input layout (little-endian; missing bytes read as 0):
//   0   mode   bits 0-2 instruction-set level (mod 5) of the first play
//              bit 3 configure again before every frame
//              bit 4 Cancel instead of OK; bit 5 the Enter key instead of OK
//              bit 6 a second start from another instance while running
//   1   the tick box (automatic) u8: ticked when odd
//   2   text mask u8: bit k takes edit k's text (count, lowest and highest
//       frequency, list, flicker) from a chunk below instead of the number
//   3   toneCount i32, minFreq f64, maxFreq f64, flicker i32, list count u8
//       (mod 9) and that many f64
//   ..  width u16, height u16 (sizes as in module_fuzz.cpp), padding u8
//       (v mod 8 pixels), frames u8 (1 + v mod 6), then per frame 9 bytes:
//       kind u8, seed u32, height u16 (0 keeps it), width u16 (0 keeps it,
//       else a new run at the new width)
//   ..  text chunks for the mask's bits, in order: length u8, bytes
//   ..  the rest: a tile of pixel bytes for frames of kind 2
//
// Cost budget: one input in LARGE_SHARE (fuzz_input.h) takes its sizes as
// written and may play LARGE_PIXELS pixels; the others take small sizes
// (up to 128 x 64) and SMALL_PIXELS. The tone stage costs about the same
// per pixel whatever the settings, so pixels are the measure; an input over
// its budget loses rows, then frames, then (small inputs) columns.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "abi/vdfilter.h"
#include "engine/dsp.h"
#include "host/spine.h"
#include "host/tone_resource.h"
#include "host/tone_settings.h"
#include "hosting/module.h"
#include "platform/dialog_host.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/guarded_bitmap.h"

namespace {

using fuzz::FramePlan;

const unsigned LARGE_SHARE = 256;
const double SMALL_PIXELS = 6e3;
#if defined(ZELT_FUZZ_REPLAY)
const double LARGE_PIXELS = 3e6;
#else
const double LARGE_PIXELS = 6e5;
#endif

const int EDITS[5] = {IDC_TONE_COUNT, IDC_TONE_MIN_FREQ, IDC_TONE_MAX_FREQ, IDC_TONE_LIST, IDC_TONE_FLICKER};

[[noreturn]] void fail(const char *what)
{
    fuzz::fail("tone_fuzz", what);
}

struct Plan {
    bool large;
    CpuLevel level;
    bool reconfigure, cancel, enterKey, doubleStart;
    bool autoDetect;
    std::string text[5];
    int padding;
    std::vector<FramePlan> frames;
    std::vector<uint8_t> tile;
};

std::string numberText(double v)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

Plan parse(const uint8_t *data, size_t size)
{
    fuzz::Reader in{data, size};
    Plan plan;
    plan.large = fuzz::isLargeInput(data, size, LARGE_SHARE);
    const uint8_t mode = in.u8();
    plan.level = (CpuLevel)((mode & 7) % 5);
    plan.reconfigure = mode & 0x08;
    plan.cancel = mode & 0x10;
    plan.enterKey = mode & 0x20;
    plan.doubleStart = mode & 0x40;
    plan.autoDetect = in.u8() & 1;
    const uint8_t mask = in.u8();
    plan.text[0] = std::to_string((int32_t)in.u32());
    plan.text[1] = numberText(in.f64());
    plan.text[2] = numberText(in.f64());
    plan.text[4] = std::to_string((int32_t)in.u32());
    const int listed = in.u8() % 9;
    for (int i = 0; i < listed; i++)
        plan.text[3] += (i ? ", " : "") + numberText(in.f64());

    plan.frames = fuzz::readFramePlans(in, plan.large, plan.padding);
    for (int k = 0; k < 5; k++)
        if (mask & (1 << k))
            plan.text[k] = in.chunk();
    plan.tile.assign(in.p, in.p + in.n);
    return plan;
}

void fitBudget(Plan &plan)
{
    const double budget = plan.large ? LARGE_PIXELS : SMALL_PIXELS;
    for (;;) {
        double pixels = 0;
        for (const FramePlan &fp : plan.frames)
            pixels += (double)fp.w * fp.h;
        if (pixels <= budget)
            return;
        bool lowered = false;
        for (FramePlan &fp : plan.frames)
            if (fp.h > 1) {
                fp.h = fp.h * 3 / 4 > 0 ? fp.h * 3 / 4 : 1;
                lowered = true;
            }
        if (lowered)
            continue;
        if (plan.frames.size() > 1) {
            plan.frames.pop_back();
            continue;
        }
        FramePlan &fp = plan.frames[0];
        if (plan.large || fp.w == 1)
            return;
        fp.w = fp.w * 3 / 4 > 0 ? fp.w * 3 / 4 : 1;
    }
}

// Frame contents by kind (bits 0-2, mod 6): constant, noise, the input's
// tile, a tone drifting at a fractional frequency over a random picture,
// alternating extremes, near-white. Bit 3 picks a fixed or a random byte 3;
// padding bytes get their own pattern.
void fillFrame(fuzz::GuardedBitmap &b, const FramePlan &fp, const std::vector<uint8_t> &tile)
{
    uint32_t rng = fp.seed * 2654435761u + 1;
    if (!rng)
        rng = 1;
    const int w = b.bmp.w, h = b.bmp.h;
    memset(b.memory(), 0xA7, b.size());
    const int kind = (fp.kind & 7) % 6;
    const bool randomByte3 = fp.kind & 8;
    const double freq = (double)((fp.seed >> 8) & 0xffff) / 256.0;  // cycles per row, fractional
    const double amplitude = (double)(fp.seed & 0x3f);
    size_t t = 0;
    for (int r = 0; r < h; r++) {
        uint32_t *row = (uint32_t *)(b.memory() + (size_t)r * b.pitch());
        for (int j = 0; j < w; j++) {
            uint32_t px;
            switch (kind) {
            case 0: px = fp.seed & 0xffffff; break;
            case 1: px = fuzz::xorshift(rng) & 0xffffff; break;
            case 2:
                if (tile.empty()) {
                    px = fuzz::xorshift(rng) & 0xffffff;
                } else {
                    px = 0;
                    for (int k = 0; k < 3; k++, t++)
                        px |= (uint32_t)tile[t % tile.size()] << (8 * k);
                }
                break;
            case 3: {
                const double v = 128.0 + amplitude * cos(6.283185307179586 * freq * ((double)j / w + r));
                const uint32_t g = (uint32_t)(v < 0 ? 0 : v > 255 ? 255 : v);
                const uint32_t n = fuzz::xorshift(rng) & 0x070707;
                px = (g | g << 8 | g << 16) ^ n;
                break;
            }
            case 4: px = (((uint32_t)j + (uint32_t)r + fp.seed) & 1) ? 0xffffff : 0; break;
            default: px = 0xffffff - (fuzz::xorshift(rng) & 0x030303); break;
            }
            const uint32_t x = randomByte3 ? fuzz::xorshift(rng) >> 24 : 0xff;
            row[j] = px | x << 24;
        }
    }
}

void playDialog(ZeltDialogUser *u, void *context)
{
    const Plan &plan = *(const Plan *)context;
    u->setChecked(u, IDC_TONE_AUTO, plan.autoDetect ? 1 : 0);
    for (int k = 0; k < 5; k++)
        u->setText(u, EDITS[k], plan.text[k].c_str());
    if (plan.cancel)
        u->click(u, IDCANCEL);
    else if (plan.enterKey)
        u->key(u, ZELT_DIALOG_KEY_ENTER);
    else
        u->click(u, IDOK);
}

void configure(const Plan &plan, const LoadedModule &m, FilterActivation *fa)
{
    const ToneFilterSettings before = toneFilterSettings;
    ZeltDialogHost host = zeltDialogHost(playDialog, (void *)&plan);
    const int status = m.callConfig(fa, (HWND)&host);
    if (status != (plan.cancel ? -1 : 0))
        fail("the dialog did not end as the user ended it");
    // Whatever was typed, the record holds what the stage can take.
    const ToneFilterSettings &s = toneFilterSettings;
    if (plan.cancel) {
        bool same = before.autoDetect == s.autoDetect && before.toneCount == s.toneCount &&
                    before.minFreq == s.minFreq && before.maxFreq == s.maxFreq && before.typedCount == s.typedCount &&
                    before.flickerStrength == s.flickerStrength;
        for (int i = 0; same && i < s.typedCount && i < kToneMax; i++)
            same = before.typed[i] == s.typed[i];
        if (!same)
            fail("Cancel changed the settings");
    }
    if (s.toneCount < 1 || s.toneCount > kToneMax || s.typedCount < 0 || s.typedCount > kToneMax ||
        s.flickerStrength < 0 || s.flickerStrength > 100 || !(s.minFreq >= 0 && s.minFreq <= kToneFreqLimit) ||
        !(s.maxFreq >= 0 && s.maxFreq <= kToneFreqLimit))
        fail("the dialog stored a setting out of its range");
    for (int i = 0; i < s.typedCount; i++)
        if (!(s.typed[i] > 0 && s.typed[i] <= kToneFreqLimit))
            fail("the dialog stored a typed frequency out of its range");
}

void registerModule(LoadedModule &m)
{
    std::string err;
    if (!m.link({VirtualdubFilterModuleInit2, VirtualdubFilterModuleDeinit}, err))
        fail("registration failed");
}

std::vector<uint64_t> play(const Plan &plan, CpuLevel level, uint8_t dstFill)
{
    dspSetCpuCap(level);
    toneFilterSettings = defaultToneFilterSettings();
    LoadedModule m;
    registerModule(m);
    fuzz::GuardedBitmap src, dst, otherSrc, otherDst;
    FilterActivation fa = m.activation(&src.bmp, &dst.bmp);
    FilterActivation other = m.activation(&otherSrc.bmp, &otherDst.bmp);

    std::vector<uint64_t> digest;
    std::vector<uint8_t> srcBefore;
    bool running = false;
    int w = -1, h = -1;
    for (size_t f = 0; f < plan.frames.size(); f++) {
        const FramePlan &fp = plan.frames[f];
        if (fp.w != w || fp.h != h) {
            src.allocate(fp.w, fp.h, plan.padding);
            dst.allocate(fp.w, fp.h, plan.padding);
        }
        if (fp.newRun && running) {
            m.callEnd(&fa);
            running = false;
        }
        w = fp.w;
        h = fp.h;
        if (f == 0 || plan.reconfigure || fp.newRun)
            configure(plan, m, &fa);
        if (!running) {
            if (m.callStart(&fa) != 0)
                fail("the start failed");
            running = true;
            if (plan.doubleStart) {
                otherSrc.allocate(1 + w % 7, 2, 0);
                otherDst.allocate(1 + w % 7, 2, 0);
                if (m.callStart(&other) != -1)
                    fail("a second start was not refused");
                m.callEnd(&other);
            }
        }
        fillFrame(src, fp, plan.tile);
        memset(dst.memory(), dstFill, dst.size());
        srcBefore.assign(src.memory(), src.memory() + src.size());
        if (m.callRun(&fa) != 0)
            fail("a run did not return 0");
        if (!src.guardsIntact() || !dst.guardsIntact())
            fail("a byte outside the bitmaps was written");
        if (memcmp(src.memory(), srcBefore.data(), src.size()) != 0)
            fail("the source was written");
        // Pixels only: the padding is the host's, copied or left alone.
        uint64_t hash = fuzz::hashBytes(&f, sizeof f);
        for (int r = 0; r < h; r++) {
            const uint8_t *out = dst.memory() + (size_t)r * dst.pitch();
            const uint8_t *in = srcBefore.data() + (size_t)r * src.pitch();
            for (int j = 0; j < w; j++)
                if (out[4 * j + 3] != in[4 * j + 3])
                    fail("byte 3 did not pass unchanged");
            hash = fuzz::hashBytes(out, (size_t)w * 4, hash);
        }
        digest.push_back(hash);
    }
    if (running)
        m.callEnd(&fa);
    if (!m.unload())
        fail("deinit did not give the filter back");
    return digest;
}

bool verbose = false;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    verbose = getenv("TONE_FUZZ_VERBOSE") != nullptr;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Plan plan = parse(data, size);
    fitBudget(plan);
    if (verbose) {
        fprintf(stderr, "tone_fuzz: %s, level %d, padding %d, frames", plan.large ? "large" : "small",
                (int)plan.level, plan.padding);
        for (const FramePlan &fp : plan.frames)
            fprintf(stderr, " %s%dx%d", fp.newRun ? "| " : "", fp.w, fp.h);
        fputc('\n', stderr);
    }
    const std::vector<uint64_t> first = play(plan, plan.level, 0x3C);
    const std::vector<uint64_t> reference = play(plan, CPU_SCALAR, 0xC3);
    if (first != reference)
        fail("bytes differ between instruction sets or with the destination's old bytes");
    return 0;
}
