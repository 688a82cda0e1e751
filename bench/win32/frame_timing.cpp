// Frame timing of a 32-bit .vdf module, as the editor drives it: the module
// loaded by file and registered through its exports, the number of harmonics
// and full processing set in its own configuration dialog, then a start, one
// run per frame on a pair of bottom-up 32-bit bitmaps, and an end.
//
//   frame_timing MODULE.vdf HARMONICS FRAMES [WIDTH HEIGHT]
//
// Prints one line per frame with its wall-clock time (QueryPerformanceCounter)
// and the time-stamp-counter cycles the run call took, then the thread's CPU
// time over all frames (GetThreadTimes: on a busy machine the wall clock
// counts other processes' time too). The zelt module
// appends its own cycle count per frame to d:\debug.out as well, when the
// prefix has a drive D: (bench/win32/run_timing.sh maps one). Needs a display
// for the dialog (exit 77 without one).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <x86intrin.h>

#include <string>

#include "abi/vdfilter.h"
#include "host/resource.h"
#include "hosting/bitmap.h"
#include "hosting/module.h"

namespace {

const char kCaption[] = "Quorvel Transform Filter Configuration";

// The user of the dialog, reached from its modal loop through a timer.
int harmonics = 10;
bool answered = false;

void CALLBACK actOnDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowA(nullptr, kCaption);
    if (!dialog || answered)
        return;
    char text[32];
    snprintf(text, sizeof text, "%d", harmonics);
    SetDlgItemTextA(dialog, IDC_HARMONICS, text);
    // Full processing only: every other stage and the display off.
    const int boxes[] = {IDC_FULL_ENABLE, IDC_DISPLAY_SPECTRUM, IDC_NOTCH_ENABLE, IDC_DC_AVERAGE, IDC_DC_TEMPORAL};
    for (int i = 0; i < 5; i++) {
        const UINT want = i == 0 ? BST_CHECKED : BST_UNCHECKED;
        if (IsDlgButtonChecked(dialog, boxes[i]) != want)
            SendMessageA(GetDlgItem(dialog, boxes[i]), BM_CLICK, 0, 0);
    }
    answered = true;
    KillTimer(nullptr, timer);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
}

double threadSeconds()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME &t) { return (double)t.dwLowDateTime + 4294967296.0 * t.dwHighDateTime; };
    return (ticks(kernel) + ticks(user)) * 1e-7;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: frame_timing MODULE.vdf HARMONICS FRAMES [WIDTH HEIGHT]\n");
        return 2;
    }
    harmonics = atoi(argv[2]);
    const int frames = atoi(argv[3]);
    const int w = argc > 5 ? atoi(argv[4]) : 720, h = argc > 5 ? atoi(argv[5]) : 576;
    if (!GetSystemMetrics(SM_CXSCREEN)) {
        printf("no display: skipped\n");
        return 77;
    }

    LoadedModule module;
    std::string err;
    if (!module.load(argv[1], err)) {
        fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }

    // A picture with some structure: gradients, stripes and noise. Rows are
    // exactly 4 x w bytes apart.
    HostBitmap src, dst;
    if (!src.allocate(w, h, 4) || !dst.allocate(w, h, 4)) {
        fprintf(stderr, "no memory for %dx%d frames\n", w, h);
        return 1;
    }
    uint32_t seed = 42;
    for (int y = 0; y < h; y++) {
        uint32_t *row = (uint32_t *)src.memoryRow(y);
        for (int x = 0; x < w; x++) {
            seed = seed * 1664525u + 1013904223u;
            const uint32_t v = (uint32_t)((x / 3 + y / 5 + (x / 7 % 2) * 40 + (seed >> 28)) & 0xff);
            row[x] = v << 16 | ((v * 3 / 4) & 0xff) << 8 | ((255 - v) & 0xff);
        }
    }
    VFBitmap s, d;
    src.describe(&s);
    dst.describe(&d);
    FilterActivation fa = module.activation(&s, &d);

    SetTimer(nullptr, 0, 100, actOnDialog);
    const int configured = module.callConfig(&fa, nullptr);
    if (configured != 0 || !answered) {
        fprintf(stderr, "the dialog was not confirmed (%d)\n", configured);
        return 1;
    }
    if (module.callStart(&fa) != 0) {
        fprintf(stderr, "start failed\n");
        return 1;
    }
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    const double cpu0 = threadSeconds();
    for (int f = 0; f < frames; f++) {
        QueryPerformanceCounter(&t0);
        const uint64_t c0 = __rdtsc();
        module.callRun(&fa);
        const uint64_t c1 = __rdtsc();
        QueryPerformanceCounter(&t1);
        printf("frame %d: %.3f ms, %llu cycles\n", f, (double)(t1.QuadPart - t0.QuadPart) * 1e3 / (double)freq.QuadPart,
               (unsigned long long)(c1 - c0));
    }
    printf("cpu: %.3f ms per frame\n", (threadSeconds() - cpu0) * 1e3 / (frames > 0 ? frames : 1));
    module.callEnd(&fa);
    module.unload();
    return 0;
}
