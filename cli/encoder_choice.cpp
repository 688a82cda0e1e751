// Which video encoder and pixel format an output gets.
#include "cli/encoder_choice.h"

#include <string.h>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "cli/convert.h"

namespace {

// The container's default video encoder, chosen to keep 8-bit RGB exactly
// where the container can hold a lossless RGB codec.
const AVCodec *defaultEncoder(const AVOutputFormat *ofmt, const std::string &path)
{
    const std::string name = ofmt->name;
    auto byName = [](const char *n) { return avcodec_find_encoder_by_name(n); };
    if (name == "matroska" || name == "avi" || name == "nut")
        return byName("ffv1");
    if (name == "mov")
        return byName("png");
    if (name == "mp4" || name == "3gp" || name == "ipod") {
        if (const AVCodec *c = byName("libx264"))
            return c;
        return byName("mpeg4");
    }
    if (name == "yuv4mpegpipe")
        return byName("wrapped_avframe");
    const AVCodecID id = av_guess_codec(ofmt, nullptr, path.c_str(), nullptr, AVMEDIA_TYPE_VIDEO);
    return id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(id);
}

bool encoderTakes(const AVCodec *codec, AVPixelFormat fmt)
{
    if (!codec->pix_fmts)
        return true;
    for (const AVPixelFormat *p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; p++)
        if (*p == fmt)
            return true;
    return false;
}

std::string encoderFormats(const AVCodec *codec)
{
    std::string list;
    for (const AVPixelFormat *p = codec->pix_fmts; p && *p != AV_PIX_FMT_NONE; p++) {
        if (!list.empty())
            list += " ";
        list += av_get_pix_fmt_name(*p);
    }
    return list;
}

AVPixelFormat defaultPixFmt(const AVCodec *codec, const AVOutputFormat *ofmt, int w, int h)
{
    const std::string c = codec->name;
    AVPixelFormat want = AV_PIX_FMT_NONE;
    if (c == "ffv1")
        want = AV_PIX_FMT_BGR0;
    else if (c == "png" || c == "tiff" || c == "apng")
        want = AV_PIX_FMT_RGB24;
    else if (c == "bmp" || c == "libx264rgb")
        want = AV_PIX_FMT_BGR24;
    else if (c == "libx264" || c == "libvpx-vp9" || c == "libvpx" || c == "mpeg4")
        want = (w % 2 == 0 && h % 2 == 0) ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV444P;
    else if (c == "mjpeg")
        want = AV_PIX_FMT_YUVJ444P;
    else if (std::string(ofmt->name) == "yuv4mpegpipe")
        want = AV_PIX_FMT_YUV444P;  // the fullest chroma the format carries
    else if (c == "rawvideo")
        want = AV_PIX_FMT_BGR0;
    if (want != AV_PIX_FMT_NONE && encoderTakes(codec, want))
        return want;
    if (codec->pix_fmts)
        return avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_BGR0, 0, nullptr);
    return AV_PIX_FMT_BGR0;
}

bool isYuv(AVPixelFormat fmt)
{
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(fmt);
    return d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && !(d->flags & AV_PIX_FMT_FLAG_PAL);
}

}  // namespace

const AVCodec *chooseEncoder(const std::string &name, const AVOutputFormat *ofmt, const std::string &path,
                             std::string &err)
{
    if (name.empty()) {
        const AVCodec *codec = defaultEncoder(ofmt, path);
        if (!codec)
            err = std::string("no video encoder available for the ") + ofmt->name + " container";
        return codec;
    }
    const AVCodec *codec = avcodec_find_encoder_by_name(name.c_str());
    if (!codec) {
        err = "unknown encoder '" + name + "' (see 'ffmpeg -encoders')";
        return nullptr;
    }
    if (codec->type != AVMEDIA_TYPE_VIDEO) {
        err = "'" + name + "' is not a video encoder";
        return nullptr;
    }
    if (avformat_query_codec(ofmt, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
        err = std::string("the ") + ofmt->name + " container cannot hold " + codec->name + " video";
        return nullptr;
    }
    return codec;
}

bool choosePixelFormat(const std::string &name, const AVCodec *codec, const AVOutputFormat *ofmt, int w, int h,
                       AVPixelFormat &out, std::string &err)
{
    if (name.empty()) {
        out = defaultPixFmt(codec, ofmt, w, h);
        return true;
    }
    out = av_get_pix_fmt(name.c_str());
    if (out == AV_PIX_FMT_NONE) {
        err = "unknown pixel format '" + name + "'";
        return false;
    }
    if (!encoderTakes(codec, out)) {
        err = std::string("the ") + codec->name + " encoder cannot take " + name + " (it takes " +
              encoderFormats(codec) + ")";
        return false;
    }
    return true;
}

void describeColours(AVCodecContext *enc, AVPixelFormat pixFmt, int height)
{
    if (!isYuv(pixFmt))
        return;
    const AVColorSpace cs = defaultColorSpace(height);
    enc->colorspace = cs;
    enc->color_primaries = cs == AVCOL_SPC_BT709 ? AVCOL_PRI_BT709 : AVCOL_PRI_BT470BG;
    enc->color_trc = cs == AVCOL_SPC_BT709 ? AVCOL_TRC_BT709 : AVCOL_TRC_GAMMA28;
    const char *n = av_get_pix_fmt_name(pixFmt);
    enc->color_range = (n && strncmp(n, "yuvj", 4) == 0) ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
}

void setEncoderDefaults(const AVCodec *codec, AVCodecContext *enc, AVDictionary **opts)
{
    const std::string name = codec->name;
    if (name == "libx264" || name == "libx264rgb") {
        av_dict_set(opts, "crf", "18", 0);
        av_dict_set(opts, "preset", "medium", 0);
    } else if (name == "libvpx-vp9" || name == "libvpx") {
        av_dict_set(opts, "crf", "20", 0);
        av_dict_set(opts, "b", "0", 0);
    } else if (name == "mpeg4" || name == "mjpeg" || name == "msmpeg4") {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = FF_QP2LAMBDA * 2;
    } else if (name == "ffv1" && enc->width > 1) {
        // Slices (level 3, slice checksums) need pictures at least two pixels
        // wide; narrower ones stay at the encoder's default level.
        av_dict_set(opts, "level", "3", 0);
        av_dict_set(opts, "slicecrc", "1", 0);
    }
}
