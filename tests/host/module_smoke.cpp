// Loads built modules the way an editor does (by file, through the two
// exported entry points only), registers each, confirms its dialog, and passes
// one generated frame through with every stage off: the frame must come back
// unchanged. Used as a test and as the demonstration run of the project.
//
//   zelt_smoke MODULE.so [MODULE.so ...]
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "abi/vdfilter.h"
#include "platform/dialog_host.h"

namespace {

FilterDefinition *registered = nullptr;
FilterDefinition hostCopy;
int removed = 0;

FilterDefinition *VDCALL addFilter(FilterModule *, FilterDefinition *fd, int len)
{
    if (len != (int)sizeof(FilterDefinition))
        return nullptr;
    registered = fd;
    hostCopy = *fd;
    return &hostCopy;
}

void VDCALL removeFilter(FilterDefinition *fd)
{
    removed += fd == &hostCopy;
}

struct Bitmap {
    std::vector<uint8_t> memory;
    VFBitmap bmp{};
    Bitmap(int w, int h, int pitch) : memory((size_t)pitch * h)
    {
        bmp.data = (uint32_t *)memory.data();
        bmp.depth = 32;
        bmp.w = w;
        bmp.h = h;
        bmp.pitch = pitch;
        bmp.modulo = pitch - 4 * w;
        bmp.size = (vd_sizet)memory.size();
    }
};

// A picture with detail and a periodic interference of 37 periods per row.
void generate(Bitmap &b)
{
    const int w = b.bmp.w, h = b.bmp.h;
    for (int y = 0; y < h; y++) {
        uint8_t *row = b.memory.data() + (size_t)y * (size_t)b.bmp.pitch;
        for (int x = 0; x < w; x++) {
            const int stripe = ((x * 37 * 4 / w) & 3) * 6;
            row[4 * x + 0] = (uint8_t)((x * 255 / w + stripe) & 0xff);
            row[4 * x + 1] = (uint8_t)((y * 255 / h + stripe) & 0xff);
            row[4 * x + 2] = (uint8_t)(((x ^ y) & 0xff) / 2 + stripe);
            row[4 * x + 3] = 0;
        }
    }
}

uint32_t checksum(const Bitmap &b)
{
    uint32_t sum = 2166136261u;  // FNV-1a over the pixel bytes, padding excluded
    for (int y = 0; y < b.bmp.h; y++)
        for (int x = 0; x < 4 * b.bmp.w; x++) {
            sum ^= b.memory[(size_t)y * (size_t)b.bmp.pitch + (size_t)x];
            sum *= 16777619u;
        }
    return sum;
}

void pressOk(ZeltDialogUser *u, void *)
{
    u->setText(u, 1001, "32");  // harmonics number, within the width
    u->setChecked(u, 1101, 0);  // the tone module: no tones looked for (no such control elsewhere)
    u->click(u, 1);
}

bool runModule(const char *path)
{
    printf("%s\n", path);
    void *lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        printf("  cannot load: %s\n", dlerror());
        return false;
    }
    auto init = (FilterModuleInit2Proc)dlsym(lib, "VirtualdubFilterModuleInit2");
    auto deinit = (FilterModuleDeinitProc)dlsym(lib, "VirtualdubFilterModuleDeinit");
    if (!init || !deinit) {
        printf("  entry points missing\n");
        dlclose(lib);
        return false;
    }
    FilterFunctions ff{};
    ff.addFilter = addFilter;
    ff.removeFilter = removeFilter;
    registered = nullptr;
    removed = 0;
    int version = 0, compat = 0;
    bool ok = init((FilterModule *)lib, &ff, &version, &compat) == 0 && registered;
    printf("  registered: %s (version %d, compatible %d)\n", ok ? hostCopy.name : "refused", version, compat);
    if (ok) {
        printf("  by %s: %s\n", hostCopy.maker, hostCopy.desc);
        Bitmap src(720, 64, 720 * 4 + 64), dst(720, 64, 720 * 4 + 64);
        generate(src);
        FilterActivation fa{};
        fa.filter = &hostCopy;
        fa.src = &src.bmp;
        fa.dst = &dst.bmp;
        ZeltDialogHost user = zeltDialogHost(pressOk, nullptr);
        const int configured = hostCopy.configProc(&fa, &ff, (HWND)&user);
        const int started = hostCopy.startProc(&fa, &ff);
        const int ran = started == 0 ? hostCopy.runProc(&fa, &ff) : -1;
        const int ended = hostCopy.endProc(&fa, &ff);
        const bool same = checksum(src) == checksum(dst);
        printf("  dialog %d, start %d, run %d, end %d; frame 720x64 %08x -> %08x (%s)\n", configured, started, ran,
               ended, checksum(src), checksum(dst), same ? "copied exactly" : "DIFFERS");
        ok = configured == 0 && started == 0 && ran == 0 && ended == 0 && same && version == 7 && compat == 4;
    }
    deinit((FilterModule *)lib, &ff);
    ok = ok && removed == 1;
    dlclose(lib);
    printf("  %s\n", ok ? "ok" : "FAILED");
    return ok;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s MODULE.so [MODULE.so ...]\n", argv[0]);
        return 2;
    }
    bool ok = true;
    for (int i = 1; i < argc; i++)
        ok = runModule(argv[i]) && ok;
    return ok ? 0 : 1;
}
