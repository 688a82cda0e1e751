// Loads built modules the way an editor does (by file, through the two
// exported entry points only), registers each, confirms its dialog, and passes
// one generated frame through with every stage off: the frame must come back
// unchanged. Used as a test and as the demonstration run of the project.
//
//   zelt_smoke MODULE.so [MODULE.so ...]
#include <stdint.h>
#include <stdio.h>

#include <string>

#include "hosting/bitmap.h"
#include "hosting/dialog.h"
#include "hosting/module.h"

namespace {

// A picture with detail and a periodic interference of 37 periods per row.
void generate(HostBitmap &b)
{
    const int w = b.width(), h = b.height();
    for (int y = 0; y < h; y++) {
        uint8_t *row = b.memoryRow(y);
        for (int x = 0; x < w; x++) {
            const int stripe = ((x * 37 * 4 / w) & 3) * 6;
            row[4 * x + 0] = (uint8_t)((x * 255 / w + stripe) & 0xff);
            row[4 * x + 1] = (uint8_t)((y * 255 / h + stripe) & 0xff);
            row[4 * x + 2] = (uint8_t)(((x ^ y) & 0xff) / 2 + stripe);
            row[4 * x + 3] = 0;
        }
    }
}

uint32_t checksum(const HostBitmap &b)
{
    uint32_t sum = 2166136261u;  // FNV-1a over the pixel bytes, padding excluded
    for (int y = 0; y < b.height(); y++)
        for (int x = 0; x < 4 * b.width(); x++) {
            sum ^= b.memoryRow(y)[x];
            sum *= 16777619u;
        }
    return sum;
}

bool runModule(const char *path)
{
    printf("%s\n", path);
    LoadOptions options;
    options.closeOnUnload = true;
    LoadedModule m;
    std::string err;
    if (!m.load(path, err, options)) {
        printf("  %s\n", err.c_str());
        return false;
    }
    const FilterDefinition &d = m.definition();
    printf("  registered: %s (version %d, compatible %d)\n", d.name, m.version(), m.compatibility());
    printf("  by %s: %s\n", d.maker, d.desc);

    // Rows padded to 128 bytes: 720 pixels leave 64 spare bytes per row.
    HostBitmap src, dst;
    if (!src.allocate(720, 64, 128) || !dst.allocate(720, 64, 128)) {
        printf("  out of memory\n");
        return false;
    }
    generate(src);
    VFBitmap s, t;
    src.describe(&s);
    dst.describe(&t);
    FilterActivation fa = m.activation(&s, &t);
    DialogPlayer user([](ZeltDialogUser *u) {
        u->setText(u, 1001, "32");  // harmonics number, within the width
        u->setChecked(u, 1101, 0);  // the tone module: no tones looked for (no such control elsewhere)
        u->click(u, 1);
    });
    const int configured = m.callConfig(&fa, user.parent());
    const int started = m.callStart(&fa);
    const int ran = started == 0 ? m.callRun(&fa) : -1;
    const int ended = m.callEnd(&fa);
    const bool same = checksum(src) == checksum(dst);
    printf("  dialog %d, start %d, run %d, end %d; frame 720x64 %08x -> %08x (%s)\n", configured, started, ran, ended,
           checksum(src), checksum(dst), same ? "copied exactly" : "DIFFERS");
    bool ok =
        configured == 0 && started == 0 && ran == 0 && ended == 0 && same && m.version() == 7 && m.compatibility() == 4;

    // The module's state is process-wide: while this instance holds it, a
    // second one is refused; one with state of its own meets the defaults
    // (10 harmonics), not the 32 entered above.
    LoadedModule second;
    std::string why;
    if (second.load(path, why)) {
        printf("  a second instance was loaded beside the first\n");
        ok = false;
    }
    LoadOptions privateState;
    privateState.privateState = true;
    DialogState seen;
    if (!second.load(path, why, privateState) || !second.readDialog(src, dst, seen, why)) {
        printf("  no private instance: %s\n", why.c_str());
        ok = false;
    } else {
        const std::string fresh = seen.text(1001);
        m.readDialog(src, dst, seen, why);
        // Only the transform modules' dialog has the harmonics number.
        const bool transform = !seen.text(1001).empty();
        if (transform && (fresh != "10" || seen.text(1001) != "32")) {
            printf("  the private instance shares the settings of the first (%s, %s)\n", fresh.c_str(),
                   seen.text(1001).c_str());
            ok = false;
        }
    }
    second.unload();
    if (!m.unload()) {
        printf("  deinit kept the filter registered\n");
        ok = false;
    }
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
