// zelt_tone's native and Windows builds over the same frames, byte for byte.
// A few cases (automatic with a drifting and a locked tone, a narrow search
// at an odd width, typed frequencies with the flicker correction, a frame too
// small to search) run through the module file as the editor runs it:
// settings entered in its own dialog, start, one run per frame, end. Every
// destination frame goes to one file. The native build writes the reference
// at the scalar level; the Windows builds write theirs at each of their
// levels under Wine, and the files must be equal.
//
//   tone_check MODULE OUTFILE [REFERENCE]
//
// With REFERENCE, OUTFILE must equal it byte for byte. On Windows the exit
// status is 77 (skipped) without a display, or when ZELT_CPU names a level
// this CPU lacks.
#if defined(_WIN32)
#include <windows.h>

#include <commctrl.h>
#endif
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "engine/dsp.h"
#include "host/tone_resource.h"
#include "hosting/bitmap.h"
#include "hosting/module.h"
#include "modes/tone_math.h"
#if defined(_WIN32)
#include "tests/win32/vdf_host.h"
#endif

namespace {

struct PlantedTone {
    double freq, amp, drift;  // drift: turns from row to row
};

struct ToneCase {
    int w, h, frames;
    bool autoDetect;
    const char *count, *from, *to, *list, *flicker;
    PlantedTone tones[2];
};

const ToneCase kCases[] = {
    {720, 576, 3, true, "8", "2", "0", "", "0", {{52.37, 5, 0.37}, {112, 4, 0}}},
    {333, 200, 2, true, "2", "10", "150", "", "0", {{40.6, 6, 0.6}, {0, 0, 0}}},
    {720, 288, 2, false, "8", "2", "0", "40.37,90.61", "60", {{40.37, 6, 0.37}, {90.61, 4, 0.61}}},
    {64, 9, 2, true, "8", "2", "0", "", "30", {{9.3, 8, 0.3}, {0, 0, 0}}},
};

// Detail with edges and noise from a fixed generator, the tones added,
// rounded and clamped; all in integers and the module's own sine, so both
// builds make the same frames.
void fillFrame(HostBitmap &bmp, const ToneCase &c, int frame)
{
    uint32_t state = 2463534242u + (uint32_t)frame * 7919u;
    for (int y = 0; y < c.h; y++) {
        uint32_t *row = (uint32_t *)bmp.pictureRow(y);
        for (int x = 0; x < c.w; x++) {
            state ^= state << 13, state ^= state >> 17, state ^= state << 5;
            const int base = 40 + (x * 97 + y * 31) % 90 + ((x / 23 + y / 17) % 3) * 30 + (int)(state % 12);
            double t = 0.0;
            for (const PlantedTone &p : c.tones) {
                double s, co;
                toneSinCos(p.freq * x / c.w + p.drift * (y + 625.0 * frame), &s, &co);
                t += p.amp * co;
            }
            int v[3] = {base + 10, base, 230 - base};
            uint32_t px = (uint32_t)((x + y) & 0xff) << 24;
            for (int ch = 0; ch < 3; ch++) {
                const double u = v[ch] + t;
                const int q = u < 0 ? 0 : u > 255 ? 255 : (int)(u + 0.5);
                px |= (uint32_t)q << (16 - 8 * ch);
            }
            row[x] = px;
        }
    }
}

const int kEdits[5] = {IDC_TONE_COUNT, IDC_TONE_MIN_FREQ, IDC_TONE_MAX_FREQ, IDC_TONE_LIST, IDC_TONE_FLICKER};

const char *editText(const ToneCase &c, int i)
{
    const char *texts[5] = {c.count, c.from, c.to, c.list, c.flicker};
    return texts[i];
}

#if defined(_WIN32)
// The user of the real dialog: ticks the box as the case asks, types the
// texts, presses OK.
std::string actOn(HWND dialog, const ToneCase &c)
{
    std::string problem;
    const UINT wanted = c.autoDetect ? BST_CHECKED : BST_UNCHECKED;
    for (int clicks = 0; clicks < 2 && IsDlgButtonChecked(dialog, IDC_TONE_AUTO) != wanted; clicks++)
        SendMessageA(GetDlgItem(dialog, IDC_TONE_AUTO), BM_CLICK, 0, 0);
    if (IsDlgButtonChecked(dialog, IDC_TONE_AUTO) != wanted)
        problem += "the tick box does not tick; ";
    for (int i = 0; i < 5; i++)
        SetDlgItemTextA(dialog, kEdits[i], editText(c, i));
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return problem;
}

HWND owner;

bool configure(LoadedModule &m, HostBitmap &src, HostBitmap &dst, const ToneCase &c, std::string &err)
{
    VFBitmap sv{}, dv{};
    src.describe(&sv);
    dst.describe(&dv);
    FilterActivation fa = m.activation(&sv, &dv);
    bool acted = false;
    const int rc = playDialog(
        owner, "Quorvel Tone Remover Configuration", [&] { return m.callConfig(&fa, owner); },
        [&](HWND dialog) { err = actOn(dialog, c); }, &acted);
    if (rc != 0 || !acted)
        err += "the dialog ended with status " + std::to_string(rc) + (acted ? "" : " without its user");
    return err.empty();
}
#else
bool configure(LoadedModule &m, HostBitmap &src, HostBitmap &dst, const ToneCase &c, std::string &err)
{
    std::vector<DialogAction> actions = {{IDC_TONE_AUTO, true, c.autoDetect, ""}};
    for (int i = 0; i < 5; i++)
        actions.push_back({kEdits[i], false, false, editText(c, i)});
    return m.configure(src, dst, actions, err);
}
#endif

int runCases(const char *modulePath, const char *outPath)
{
    FILE *out = fopen(outPath, "wb");
    if (!out) {
        printf("cannot write %s\n", outPath);
        return 1;
    }
    for (const ToneCase &c : kCases) {
        LoadedModule m;
        LoadOptions options;
        options.closeOnUnload = true;  // every case from the defaults
#if defined(_WIN32)
        options.caller = callMisaligned;
#endif
        std::string err;
        HostBitmap src, dst;
        if (!m.load(modulePath, err, options) || !src.allocate(c.w, c.h) || !dst.allocate(c.w, c.h) ||
            !configure(m, src, dst, c, err) || !m.start(src, dst, err)) {
            printf("case %dx%d: %s\n", c.w, c.h, err.c_str());
            fclose(out);
            return 1;
        }
        for (int f = 0; f < c.frames; f++) {
            fillFrame(src, c, f);
            if (!m.run(src, dst, err)) {
                printf("case %dx%d frame %d: %s\n", c.w, c.h, f, err.c_str());
                fclose(out);
                return 1;
            }
            for (int y = 0; y < c.h; y++)
                fwrite(dst.pictureRow(y), 4, (size_t)c.w, out);
        }
        m.end();
        m.unload();
    }
    return fclose(out) == 0 ? 0 : 1;
}

std::vector<char> readFile(const char *path, bool &ok)
{
    std::vector<char> bytes;
    FILE *f = fopen(path, "rb");
    ok = f != nullptr;
    if (!f)
        return bytes;
    char buf[65536];
    for (size_t got; (got = fread(buf, 1, sizeof buf, f)) > 0;)
        bytes.insert(bytes.end(), buf, buf + got);
    fclose(f);
    return bytes;
}

int compareWith(const char *outPath, const char *refPath)
{
    bool okOut, okRef;
    const std::vector<char> a = readFile(outPath, okOut), b = readFile(refPath, okRef);
    if (!okRef) {
        printf("no reference at %s\n", refPath);
        return 1;
    }
    if (!okOut || a.size() != b.size()) {
        printf("%s holds %zu bytes, %s %zu\n", outPath, a.size(), refPath, b.size());
        return 1;
    }
    for (size_t i = 0; i < a.size(); i++)
        if (a[i] != b[i]) {
            printf("%s differs from %s first at byte %zu\n", outPath, refPath, i);
            return 1;
        }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        printf("usage: tone_check MODULE OUTFILE [REFERENCE]\n");
        return 2;
    }
#if defined(_WIN32)
    const char *display = getenv("DISPLAY");
    if (!display || !*display) {
        printf("no display: skipped\n");
        return 77;
    }
    if (cpuLevelFromName(getenv("ZELT_CPU")) > (int)cpuDetect()) {
        printf("this CPU has no %s: skipped\n", getenv("ZELT_CPU"));
        return 77;
    }
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    owner = createOwnerWindow("QuorvelToneCheck");
#endif
    const int rc = runCases(argv[1], argv[2]);
    return rc != 0 || argc == 3 ? rc : compareWith(argv[2], argv[3]);
}
