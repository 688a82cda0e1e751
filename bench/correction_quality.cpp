// Runs a module over raw YUV frames the way quorvel's correction does: the
// source to the module's picture, the module, the module's change added back
// to the source; writes the corrected raw frames. For measuring what the
// correction keeps (bench/correction_quality.sh).
//
//   correction_quality [--flat] PIXFMT WxH IN.yuv OUT.yuv QUORVEL-SETTINGS...
//
// --flat gives the module limited-range pictures stretched to 0..255 instead
// of at studio levels. Frames are tagged BT.601, limited range, co-sited.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "hosting/bitmap.h"
#include "cli/correction.h"
#include "hosting/module.h"
#include "cli/options.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

int main(int argc, char **argv)
{
    CorrectionOptions copts;
    int a = 1;
    if (a < argc && strcmp(argv[a], "--flat") == 0) {
        copts.keepHeadroom = false;
        a++;
    }
    int w = 0, h = 0;
    if (argc - a < 4 || sscanf(argv[a + 1], "%dx%d", &w, &h) != 2) {
        fprintf(stderr, "usage: correction_quality [--flat] PIXFMT WxH IN.yuv OUT.yuv QUORVEL-SETTINGS...\n");
        return 2;
    }
    const AVPixelFormat fmt = av_get_pix_fmt(argv[a]);
    FILE *in = fopen(argv[a + 2], "rb"), *out = fopen(argv[a + 3], "wb");
    if (fmt == AV_PIX_FMT_NONE || !in || !out) {
        fprintf(stderr, "correction_quality: bad pixel format or file\n");
        return 1;
    }
    std::vector<char *> args = {argv[0]};
    for (int i = a + 4; i < argc; i++)
        args.push_back(argv[i]);
    char inName[] = "in.mkv", outName[] = "out.mkv";
    args.push_back(inName);
    args.push_back(outName);
    Options o;
    std::string err;
    if (!parseOptions((int)args.size(), args.data(), o, err)) {
        fprintf(stderr, "correction_quality: %s\n", err.c_str());
        return 2;
    }

    HostBitmap src, dst, before;
    src.allocate(w, h);
    dst.allocate(w, h);
    before.allocate(w, h);
    LoadedModule module;
    if (!module.load(findModule(o.module), err) || !module.configure(src, dst, o.dialog, err) ||
        !module.start(src, dst, err)) {
        fprintf(stderr, "correction_quality: %s\n", err.c_str());
        return 1;
    }
    AVFrame *f = av_frame_alloc();
    f->format = fmt;
    f->width = w;
    f->height = h;
    f->colorspace = AVCOL_SPC_BT470BG;
    f->color_range = AVCOL_RANGE_MPEG;
    f->chroma_location = AVCHROMA_LOC_TOPLEFT;
    av_frame_get_buffer(f, 0);
    std::vector<uint8_t> raw((size_t)av_image_get_buffer_size(fmt, w, h, 1));
    SourceImporter importer(copts);
    FrameCorrector corrector(copts);
    int frames = 0;
    while (fread(raw.data(), 1, raw.size(), in) == raw.size()) {
        uint8_t *planes[4];
        int lines[4];
        av_image_fill_arrays(planes, lines, raw.data(), fmt, w, h, 1);
        av_image_copy(f->data, f->linesize, (const uint8_t **)planes, lines, fmt, w, h);
        // The notch tapers the source in place: the change is taken from a
        // copy made before the run.
        if (!importer.import(f, xrgbView(before), err))
            break;
        memcpy(src.data(), before.data(), before.size());
        if (!module.run(src, dst, err) || !corrector.apply(f, xrgbView(before), xrgbView(dst), err))
            break;
        av_image_copy_to_buffer(raw.data(), (int)raw.size(), f->data, f->linesize, fmt, w, h, 1);
        fwrite(raw.data(), 1, raw.size(), out);
        frames++;
    }
    module.end();
    fclose(in);
    fclose(out);
    av_frame_free(&f);
    if (!err.empty()) {
        fprintf(stderr, "correction_quality: %s\n", err.c_str());
        return 1;
    }
    fprintf(stderr, "correction_quality: %d frames\n", frames);
    return 0;
}
