// Drives one filter module through its host interface the way an editor does,
// with whatever the input says: every settings field at any 32-bit value
// (through the configuration dialog, written straight into the record, or
// both), frames from 1 x 1 to 2048 x 1200 with padded rows, their contents, and
// a short sequence of frames with height changes and new runs at other widths.
//
// Each input is played twice, at the instruction-set level it names and at the
// scalar reference, and the two plays must agree byte for byte (which also
// makes every output a pure function of the settings and the frames in order).
// On the way the host-visible invariants are checked: a plain chain copies,
// byte 3 is kept or cleared but never invented, the source changes only where
// the notch taper writes, and nothing is written outside the bitmaps (the
// sanitizers watch every byte: each bitmap is a block of exactly `size` bytes).
//
// Built once per module, against that module's static library
// (ZELT_FUZZ_LPF: 1 for zelt_lpf, 0 for zelt). The 32-bit Windows build
// replays the seeds under Wine; there the dialog is not driven (it needs a
// window system) and its OK is played by storing what it would store.
//
// Input layout (little-endian; missing bytes read as 0):
//   0   mode   bits 0-1 route: 0 dialog, 1 record, 2 dialog then record for
//              the harmonic numbers, 3 dialog then Cancel
//              bits 2-4 instruction-set level (mod 5) of the first play
//              bit 5 a second start from another instance while running
//              bit 6 confirm with the Enter key instead of the OK button
//              bit 7 configure again before every frame
//   1   settings, in declared order: displaySpectrum u8, harmonicsNumber i32,
//              harmonicsLimit i32, notchEnabled u8, minHarmonic i32,
//              mainHarmonic i32, maxHarmonic i32, curveAggression f32,
//              rejectionDb i32, dcAverage u8, dcTemporal u8, fullProcessing u8
//   34  text mask u8: bit k takes edit k's text (1001, 1007, 1008, 1009,
//              1010, 1011) from a length-prefixed chunk below instead of the
//              setting written as a number
//   35  width u16, height u16 (sizes: see below), padding u8 (v mod 8
//              pixels at the end of every row)
//   40  frames u8 (1 + v mod 6), then per frame 9 bytes: kind u8, seed u32,
//              height u16 (0 keeps it), width u16 (0 keeps it, else the run
//              ends and a new one starts at the new width)
//   ..  text chunks for the mask's bits, in order: length u8, bytes
//   ..  the rest: a tile of pixel bytes for frames of kind 2
// A size u16 with bit 15 set gives 1 + (v & 0x7fff) mod 2048 (widths) or
// mod 1200 (heights); with bit 15 clear it gives a small size, 1 + v mod 128
// or 1 + v mod 64.
//
// Cost budget. Every input is played twice, once at the scalar reference, so
// an input costs what its frames cost. Two classes, drawn by a hash of all
// the input's bytes (every mutation draws again, so the share holds whatever
// the corpus comes to hold):
//   small, all but one input in LARGE_SHARE: every size is a small size
//     (bit 15 ignored) and a play may cost SMALL_BUDGET multiply-adds;
//   large, one input in LARGE_SHARE: sizes as written, up to 2048 x 1200,
//     and LARGE_BUDGET multiply-adds (the tables of the width come on top
//     when they alone exceed it: at most 40 x 2048^2).
// The estimate (frameWork) counts the engine's multiply-adds, a table entry
// as ten; an input over its budget loses rows, then frames, then (small
// class only) columns. The replay of the seeds plays every input as large,
// with room for whole frames.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "abi/vdfilter.h"
#include "display/display_dsp.h"
#include "engine/dsp.h"
#include "host/module.h"
#include "host/numtext.h"
#include "host/settings.h"
#include "hosting/module.h"
#include "modes/modes.h"
#include "modes/modes_dsp.h"
#include "tests/fuzz/fuzz_input.h"
#if !defined(_WIN32)
#include "platform/dialog_host.h"
#endif

#if !defined(ZELT_FUZZ_LPF)
#error "ZELT_FUZZ_LPF must be defined by the build"
#endif

namespace {

using fuzz::FramePlan;

// Work allowed per play, in multiply-adds of the engine (see the top). With
// the sanitizers on, a small input costs a millisecond or two, a large one
// a few tenths of a second (the widest tables two seconds): one in
// LARGE_SHARE gives the large ones about half the time, and the fuzzer
// several hundred inputs a second on one core.
const double SMALL_BUDGET = 2e5;
const unsigned LARGE_SHARE = 256;
#if defined(ZELT_FUZZ_REPLAY)
const double LARGE_BUDGET = 8e7;
#else
const double LARGE_BUDGET = 2e7;
#endif

[[noreturn]] void fail(const char *what, int frame)
{
    fprintf(stderr, "module_fuzz: invariant broken at frame %d: %s\n", frame, what);
    abort();
}

struct Plan {
    bool large;  // the input's cost class
    int route;
    int padding;  // pixels at the end of every row
    CpuLevel level;
    bool doubleStart, enterKey, reconfigure;
    FilterSettings record;
    const char *editText[6];  // null: the setting as a number
    std::string chunk[6];
    std::vector<FramePlan> frames;
    std::vector<uint8_t> tile;
};

const int EDIT_IDS[6] = {1001, 1007, 1008, 1009, 1010, 1011};

Plan parse(const uint8_t *data, size_t size)
{
    fuzz::Reader in{data, size};
    Plan plan;
    plan.large = fuzz::isLargeInput(data, size, LARGE_SHARE);
    const uint8_t mode = in.u8();
    plan.route = mode & 3;
    plan.level = (CpuLevel)(((mode >> 2) & 7) % 5);
    plan.doubleStart = mode & 0x20;
    plan.enterKey = mode & 0x40;
    plan.reconfigure = mode & 0x80;

    FilterSettings &s = plan.record;
    s.displaySpectrum = in.u8();
    s.harmonicsNumber = (int32_t)in.u32();
    s.harmonicsLimit = (int32_t)in.u32();
    s.notchEnabled = in.u8();
    s.minHarmonic = (int32_t)in.u32();
    s.mainHarmonic = (int32_t)in.u32();
    s.maxHarmonic = (int32_t)in.u32();
    const uint32_t bits = in.u32();
    memcpy(&s.curveAggression, &bits, sizeof bits);
    s.rejectionDb = (int32_t)in.u32();
    s.dcAverage = in.u8();
    s.dcTemporal = in.u8();
    s.fullProcessing = in.u8();

    const uint8_t textMask = in.u8();
    plan.frames = fuzz::readFramePlans(in, plan.large, plan.padding);
    for (int k = 0; k < 6; k++) {
        plan.editText[k] = nullptr;
        if (textMask & (1 << k)) {
            const uint8_t len = in.u8();
            for (int i = 0; i < len && in.n; i++)
                plan.chunk[k].push_back((char)in.u8());
            plan.editText[k] = plan.chunk[k].c_str();
        }
    }
    plan.tile.assign(in.p, in.p + in.n);
    return plan;
}

// ------------------------------------------------------------------ host

// The module linked into this program, registered through the host's
// service table as a loaded one would be.
void registerModule(LoadedModule &m)
{
    std::string err;
    if (!m.link({VirtualdubFilterModuleInit2, VirtualdubFilterModuleDeinit}, err) || m.version() != 7 ||
        m.compatibility() != 4)
        fail("registration failed", -1);
    if (m.record().definitionLength != VD_FILTER_DEFINITION_SIZE || m.record().registrations != 1)
        fail("definition registered with the wrong size or more than once", -1);
}

// A host bitmap: one block of exactly pitch x h bytes, so that a byte read
// or written past it is caught.
struct Bitmap {
    uint8_t *memory = nullptr;
    VFBitmap bmp{};

    void allocate(int w, int h, int paddingPixels)
    {
        free(memory);
        const size_t pitch = ((size_t)w + (size_t)paddingPixels) * 4;
        memory = (uint8_t *)malloc(pitch * (size_t)h);
        if (!memory)
            abort();
        bmp = VFBitmap{};
        bmp.data = (uint32_t *)memory;
        bmp.depth = 32;
        bmp.w = w;
        bmp.h = h;
        bmp.pitch = (vd_sizet)pitch;
        bmp.modulo = (vd_sizet)(pitch - (size_t)w * 4);
        bmp.size = (vd_sizet)(pitch * (size_t)h);
    }
    size_t size() const { return (size_t)bmp.size; }
    ~Bitmap() { free(memory); }
};

inline uint32_t xorshift(uint32_t &s)
{
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

// Frame contents by kind: constant, noise, the input's tile, a periodic
// stripe pattern (the interference the filter exists for), alternating
// extremes, near-white. Bit 3 of the kind picks a fixed or a random byte 3;
// padding bytes get their own pattern.
void fillFrame(Bitmap &b, const FramePlan &fp, const std::vector<uint8_t> &tile)
{
    uint32_t rng = fp.seed * 2654435761u + 1;
    if (!rng)
        rng = 1;
    const int w = b.bmp.w, h = b.bmp.h;
    const size_t pitch = (size_t)b.bmp.pitch;
    memset(b.memory, 0xA7, b.size());
    const int kind = fp.kind % 6;
    const bool randomByte3 = fp.kind & 8;
    const uint32_t constant = fp.seed & 0xffffff;
    const int harmonic = (int)(fp.seed >> 8) % (w > 1 ? w : 1);
    const double amplitude = (double)(fp.seed & 0x7f);
    size_t t = 0;
    for (int r = 0; r < h; r++) {
        uint32_t *row = (uint32_t *)(b.memory + (size_t)r * pitch);
        for (int j = 0; j < w; j++) {
            uint32_t px;
            switch (kind) {
            case 0: px = constant; break;
            case 1: px = xorshift(rng) & 0xffffff; break;
            case 2:
                if (tile.empty()) {
                    px = xorshift(rng) & 0xffffff;
                } else {
                    px = 0;
                    for (int k = 0; k < 3; k++, t++)
                        px |= (uint32_t)tile[t % tile.size()] << (8 * k);
                }
                break;
            case 3: {
                const double v = 128.0 + amplitude * cos(6.283185307179586 * harmonic * j / w);
                const uint32_t g = (uint32_t)(v < 0 ? 0 : v > 255 ? 255 : v);
                px = g | g << 8 | g << 16;
                break;
            }
            case 4: px = (((uint32_t)j + (uint32_t)r + fp.seed) & 1) ? 0xffffff : 0; break;
            default: px = 0xffffff - (xorshift(rng) & 0x030303); break;
            }
            const uint32_t x = randomByte3 ? xorshift(rng) >> 24 : 0xff;
            row[j] = px | x << 24;
        }
    }
}

// ------------------------------------------------------------------ dialog

struct DialogPlay {
    const Plan *plan;
    std::string text[6];
};

#if !defined(_WIN32)

void playDialog(ZeltDialogUser *u, void *context)
{
    const DialogPlay &d = *(const DialogPlay *)context;
    const FilterSettings &s = d.plan->record;
    for (int k = 0; k < 6; k++)
        u->setText(u, EDIT_IDS[k], d.text[k].c_str());
    u->setChecked(u, 1002, s.displaySpectrum ? 1 : 0);
    u->setChecked(u, 1005, s.notchEnabled ? 1 : 0);
    u->setChecked(u, 1006, s.fullProcessing ? 1 : 0);
    u->setChecked(u, 1012, s.dcAverage ? 1 : 0);
    u->setChecked(u, 1013, s.dcTemporal ? 1 : 0);
    u->click(u, 1000);  // the spin control changes nothing
    if (d.plan->route == 3)
        u->click(u, 2);
    else if (d.plan->enterKey)
        u->key(u, ZELT_DIALOG_KEY_ENTER);
    else
        u->click(u, 1);
}

#else

// What OK stores, in its order, from the texts and boxes of the play.
void storeAsDialogOk(const DialogPlay &d, int width)
{
    const FilterSettings &s = d.plan->record;
    FilterSettings &f = filterSettings;
    f.harmonicsLimit = width;
    f.displaySpectrum = s.displaySpectrum ? 1 : 0;
    f.harmonicsNumber = readIntText(d.text[0].substr(0, DIALOG_TEXT_SIZE - 1).c_str());
    if (f.harmonicsNumber > f.harmonicsLimit)
        f.harmonicsNumber = f.harmonicsLimit;
    f.fullProcessing = s.fullProcessing ? 1 : 0;
    f.mainHarmonic = readIntText(d.text[1].substr(0, DIALOG_TEXT_SIZE - 1).c_str());
    f.minHarmonic = readIntText(d.text[3].substr(0, DIALOG_TEXT_SIZE - 1).c_str());
    f.maxHarmonic = readIntText(d.text[2].substr(0, DIALOG_TEXT_SIZE - 1).c_str());
    f.curveAggression = readFloatText(d.text[4].substr(0, DIALOG_TEXT_SIZE - 1).c_str());
    f.rejectionDb = readIntText(d.text[5].substr(0, DIALOG_TEXT_SIZE - 1).c_str());
    f.notchEnabled = s.notchEnabled ? 1 : 0;
    f.dcAverage = s.dcAverage ? 1 : 0;
    f.dcTemporal = s.dcTemporal ? 1 : 0;
}

#endif

// Configures as the plan says; returns configProc's status.
int configure(const Plan &plan, const LoadedModule &m, FilterActivation *fa)
{
    int status = 0;
    if (plan.route != 1) {
        DialogPlay d{&plan, {}};
        const FilterSettings &s = plan.record;
        const int32_t numbers[6] = {s.harmonicsNumber, s.mainHarmonic, s.maxHarmonic, s.minHarmonic, 0, s.rejectionDb};
        for (int k = 0; k < 6; k++) {
            char buf[64];
            if (plan.editText[k])
                d.text[k] = plan.editText[k];
            else if (k == 4)
                snprintf(buf, sizeof buf, "%.9g", (double)s.curveAggression), d.text[k] = buf;
            else
                snprintf(buf, sizeof buf, "%d", (int)numbers[k]), d.text[k] = buf;
        }
#if !defined(_WIN32)
        ZeltDialogHost host = zeltDialogHost(playDialog, &d);
        status = m.callConfig(fa, (HWND)&host);
        const int expected = plan.route == 3 ? -1 : 0;
        if (status != expected)
            fail("configProc's status does not match the button pressed", -1);
#else
        (void)m;
        if (plan.route == 3)
            filterSettings.harmonicsLimit = fa->src->w;
        else
            storeAsDialogOk(d, fa->src->w);
#endif
    }
    if (plan.route == 1) {
        filterSettings = plan.record;
    } else if (plan.route == 2) {
        filterSettings.harmonicsNumber = plan.record.harmonicsNumber;
        filterSettings.minHarmonic = plan.record.minHarmonic;
        filterSettings.maxHarmonic = plan.record.maxHarmonic;
    }
    return status;
}

// ------------------------------------------------------------------ play

inline uint64_t hashBytes(const uint8_t *p, size_t n, uint64_t h)
{
    for (size_t i = 0; i < n; i++)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

// What a play leaves behind, frame by frame: status and digests of both
// bitmaps after the run callback.
struct Trace {
    std::vector<int> status;
    std::vector<uint64_t> digest;
};

void checkFrame(const FilterSettings &s, int status, const Bitmap &src, const std::vector<uint8_t> &srcBefore,
                const Bitmap &dst, uint8_t dstFill, int frame)
{
    const int w = src.bmp.w, h = src.bmp.h;
    const size_t pitch = (size_t)src.bmp.pitch;
    const bool display = s.displaySpectrum == 1;
    const bool notch = !display && s.notchEnabled;

    // The source: padding and byte 3 never change; colour only at the pixels
    // the notch taper writes (0, 1, w - 2, w - 1).
    for (int r = 0; r < h; r++) {
        const uint8_t *now = src.memory + (size_t)r * pitch, *was = srcBefore.data() + (size_t)r * pitch;
        if (memcmp(now + (size_t)w * 4, was + (size_t)w * 4, pitch - (size_t)w * 4) != 0)
            fail("source padding changed", frame);
        for (int j = 0; j < w; j++) {
            const bool tapered = notch && (j <= 1 || j >= w - 2);
            if (now[4 * j + 3] != was[4 * j + 3])
                fail("source byte 3 changed", frame);
            if (!tapered && memcmp(now + 4 * j, was + 4 * j, 3) != 0)
                fail("source pixel changed outside the taper", frame);
        }
    }

    if (display) {
        if (status == 0) {
            for (int r = 0; r < h; r++)
                for (int j = 0; j < w; j++)
                    if (dst.memory[(size_t)r * pitch + 4 * (size_t)j + 3] != 0)
                        fail("a displayed pixel has a byte 3", frame);
        } else {
            if (status != -1)
                fail("display status is neither 0 nor -1", frame);
            for (size_t i = 0; i < dst.size(); i++)
                if (dst.memory[i] != dstFill)
                    fail("a refused display wrote the destination", frame);
        }
        return;
    }
    if (status != 0)
        fail("the filter chain did not return 0", frame);
    const bool anyStage = s.notchEnabled || s.dcAverage || s.fullProcessing;
    if (!anyStage) {
        if (memcmp(dst.memory, srcBefore.data(), dst.size()) != 0)
            fail("a chain without stages is not a copy", frame);
        return;
    }
    // Byte 3: copied from the source, or 0 where full processing packed.
    for (int r = 0; r < h; r++)
        for (int j = 0; j < w; j++) {
            const size_t at = (size_t)r * pitch + 4 * (size_t)j + 3;
            const uint8_t x = dst.memory[at];
            if (x != srcBefore[at] && !(s.fullProcessing && x == 0))
                fail("destination byte 3 neither copied nor cleared", frame);
        }
    // Full processing alone leaves the last two rows of zelt_lpf as copied,
    // the DC average alone the first and the last row.
    const bool onlyFull = s.fullProcessing && !s.notchEnabled && !s.dcAverage;
    const bool onlyDc = s.dcAverage && !s.notchEnabled && !s.fullProcessing;
    auto rowKept = [&](int r) {
        return r < 0 || r >= h ||
               memcmp(dst.memory + (size_t)r * pitch, srcBefore.data() + (size_t)r * pitch, (size_t)w * 4) == 0;
    };
    if (ZELT_FUZZ_LPF && onlyFull && (!rowKept(h - 2) || !rowKept(h - 1)))
        fail("full processing wrote one of the last two rows", frame);
    if (onlyDc && (!rowKept(0) || !rowKept(h - 1)))
        fail("the DC average wrote a row it never changes", frame);
}

Trace play(const Plan &plan, CpuLevel level)
{
    dspSetCpuCap(level);
    filterSettings = defaultFilterSettings();
    dcHistoryReset();

    LoadedModule m;
    registerModule(m);

    Bitmap src, dst, otherSrc, otherDst;
    FilterActivation fa = m.activation(&src.bmp, &dst.bmp);
    FilterActivation other = m.activation(&otherSrc.bmp, &otherDst.bmp);

    Trace trace;
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
        if (f == 0 || (plan.reconfigure && plan.route != 1) || fp.newRun)
            configure(plan, m, &fa);
        if (!running) {
            // A start that fails for want of memory still takes the guard;
            // the end below gives it back. Frames of a failed run still go
            // through: the stages must notice the missing tables.
            trace.status.push_back(m.callStart(&fa));
            running = true;
            if (plan.doubleStart) {
                otherSrc.allocate(1 + w % 7, 2, 0);
                otherDst.allocate(1 + w % 7, 2, 0);
                if (m.callStart(&other) != -1)
                    fail("a second start was not refused", (int)f);
                m.callEnd(&other);
            }
        }
        fillFrame(src, fp, plan.tile);
        const uint8_t dstFill = (uint8_t)(0x3C ^ fp.seed);
        memset(dst.memory, dstFill, dst.size());
        srcBefore.assign(src.memory, src.memory + src.size());

        const FilterSettings s = filterSettings;
        const int status = m.callRun(&fa);
        checkFrame(s, status, src, srcBefore, dst, dstFill, (int)f);
        trace.status.push_back(status);
        trace.digest.push_back(
            hashBytes(dst.memory, dst.size(), hashBytes(src.memory, src.size(), 14695981039346656037ull)));
    }
    if (running)
        m.callEnd(&fa);
    if (!m.unload())
        fail("deinit did not give the filter back", -1);
    dcHistoryReset();
    return trace;
}

// ------------------------------------------------------------------ budget

// The settings a configuration leaves for frames of width w.
FilterSettings settingsAfterConfigure(const Plan &plan, int w)
{
    filterSettings = defaultFilterSettings();
    LoadedModule m;
    registerModule(m);
    Bitmap src;
    src.allocate(w, 1, 0);
    FilterActivation fa = m.activation(&src.bmp, &src.bmp);
    configure(plan, m, &fa);
    const FilterSettings s = filterSettings;
    m.unload();
    return s;
}

double frameWork(const FilterSettings &s, int w, int h)
{
    const double n = s.harmonicsNumber <= 0 ? 0 : s.harmonicsNumber > w ? w : s.harmonicsNumber;
    double work = 2.0 * w * h;
    if (s.displaySpectrum == 1) {
        work += ZELT_FUZZ_LPF ? 3.0 * n * w * (h < 576 ? h : 576) : n * w;
        return work;
    }
    if (s.notchEnabled) {
        const double lo = s.minHarmonic < 0 ? 0 : s.minHarmonic;
        const double hi = s.maxHarmonic > w ? w : s.maxHarmonic;
        if (hi > lo)
            work += 2.0 * (hi - lo) * w * h;
    }
    if (s.dcAverage)
        work += (double)w * h;
    if (s.fullProcessing)
        work += 6.0 * n * w * h;
    return work;
}

// Lowers frame heights, then the frame count, then (small inputs only) the
// width until a play fits the budget of the input's class. The settings stay
// those of the width as written: every estimate caps the harmonics at the
// width, as the dialog does.
void fitBudget(Plan &plan)
{
    const double budget = plan.large ? LARGE_BUDGET : SMALL_BUDGET;
    std::vector<FilterSettings> settings;
    for (const FramePlan &fp : plan.frames)
        settings.push_back(fp.newRun || settings.empty() ? settingsAfterConfigure(plan, fp.w) : settings.back());
    for (;;) {
        double work = 0;
        for (size_t f = 0; f < plan.frames.size(); f++) {
            const FramePlan &fp = plan.frames[f];
            work += frameWork(settings[f], fp.w, fp.h);
            if (f == 0 || fp.newRun)
                work += 40.0 * fp.w * fp.w;  // tables
        }
        if (work <= budget)
            return;
        bool lowered = false;
        for (FramePlan &fp : plan.frames)
            if (fp.h > 1) {
                fp.h = fp.h * 3 / 4 > 0 ? fp.h * 3 / 4 : 1;
                lowered = true;
            }
        if (!lowered) {
            if (plan.frames.size() == 1) {
                FramePlan &fp = plan.frames[0];
                if (plan.large || fp.w == 1)
                    return;
                fp.w = fp.w * 3 / 4 > 0 ? fp.w * 3 / 4 : 1;
                continue;
            }
            plan.frames.pop_back();
            settings.pop_back();
        }
    }
}

// MODULE_FUZZ_VERBOSE=1 prints each input's plan after the budget.
bool verbose = false;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    verbose = getenv("MODULE_FUZZ_VERBOSE") != nullptr;
#if !defined(_WIN32)
    // The timing log of zelt's full processing goes nowhere.
    setenv("ZELT_TIMING_LOG", "/dev/null", 1);
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Plan plan = parse(data, size);
    fitBudget(plan);
    if (verbose) {
        fprintf(stderr, "module_fuzz: %s, route %d, level %d, padding %d, frames", plan.large ? "large" : "small",
                plan.route, (int)plan.level, plan.padding);
        for (const FramePlan &fp : plan.frames)
            fprintf(stderr, " %s%dx%d", fp.newRun ? "| " : "", fp.w, fp.h);
        fputc('\n', stderr);
    }
    const Trace first = play(plan, plan.level);
    const Trace reference = play(plan, CPU_SCALAR);
    if (first.status != reference.status)
        fail("statuses differ between instruction sets", -1);
    for (size_t f = 0; f < first.digest.size(); f++)
        if (first.digest[f] != reference.digest[f])
            fail("bytes differ between instruction sets", (int)f);
    return 0;
}
