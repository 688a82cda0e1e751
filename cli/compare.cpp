// PSNR of one clip against another, over the colour bytes of every frame.
#include <math.h>
#include <stdio.h>

#include "cli/commands.h"
#include "cli/reader.h"

int runCompare(const Options &o)
{
    std::string err;
    MediaReader a, b;
    if (!a.open(o.paths[0], err) || !b.open(o.paths[1], err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    const int w = a.info().width, h = a.info().height;
    if (b.info().width != w || b.info().height != h) {
        reportError("the pictures differ in size: " + std::to_string(w) + "x" + std::to_string(h) + " and " +
                    std::to_string(b.info().width) + "x" + std::to_string(b.info().height));
        return EXIT_FAILURE_RUN;
    }
    HostBitmap fa, fb;
    if (!fa.allocate(w, h) || !fb.allocate(w, h)) {
        reportError("out of memory");
        return EXIT_FAILURE_RUN;
    }
    double squares = 0;
    int64_t frames = 0;
    int64_t pts = 0;
    bool unequalCounts = false;
    while (o.frames < 0 || frames < o.frames) {
        const int ga = a.next(fa, pts, err);
        if (ga < 0) {
            reportError(err);
            return EXIT_FAILURE_RUN;
        }
        const int gb = b.next(fb, pts, err);
        if (gb < 0) {
            reportError(err);
            return EXIT_FAILURE_RUN;
        }
        if (ga == 0 || gb == 0) {
            unequalCounts = ga != gb;
            break;
        }
        for (int y = 0; y < h; y++) {
            const uint8_t *ra = fa.memoryRow(y), *rb = fb.memoryRow(y);
            int64_t rowSum = 0;
            for (int x = 0; x < 4 * w; x++) {
                if ((x & 3) == 3)
                    continue;
                const int d = (int)ra[x] - (int)rb[x];
                rowSum += d * d;
            }
            squares += (double)rowSum;
        }
        frames++;
    }
    if (frames == 0) {
        reportError("no frames to compare");
        return EXIT_FAILURE_RUN;
    }
    const double mse = squares / ((double)frames * w * h * 3);
    const double psnr = mse > 0 ? 10.0 * log10(255.0 * 255.0 / mse) : INFINITY;
    if (o.json) {
        printf("{\"frames\": %lld, \"mse\": %.6f, \"psnr\": %s}\n", (long long)frames, mse,
               mse > 0 ? std::to_string(psnr).c_str() : "null");
    } else {
        if (mse > 0)
            printf("PSNR %.2f dB (MSE %.3f) over %lld frames of %dx%d\n", psnr, mse, (long long)frames, w, h);
        else
            printf("PSNR inf (identical) over %lld frames of %dx%d\n", (long long)frames, w, h);
    }
    if (unequalCounts)
        fprintf(stderr, "quorvel: note: the clips differ in length; compared the first %lld frames\n",
                (long long)frames);
    return EXIT_OK;
}
