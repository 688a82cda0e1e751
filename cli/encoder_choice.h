// Which video encoder and pixel format an output gets, and the settings the
// encoder is opened with: lossless 8-bit RGB where the container can hold
// it, sensible quality for the lossy encoders otherwise.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

// The encoder named (empty: the container's default) for the container
// `ofmt` chose for `path`. Null with a message when there is none or it does
// not fit.
const AVCodec *chooseEncoder(const std::string &name, const AVOutputFormat *ofmt, const std::string &path,
                             std::string &err);

// The pixel format named (empty: the best `codec` offers for 8-bit RGB at
// w x h). False with a message when the name is unknown or the encoder
// does not take it.
bool choosePixelFormat(const std::string &name, const AVCodec *codec, const AVOutputFormat *ofmt, int w, int h,
                       AVPixelFormat &out, std::string &err);

// The colour description of YUV output (the matrix the pixels are
// converted with); RGB formats carry none.
void describeColours(AVCodecContext *enc, AVPixelFormat pixFmt, int height);

// Quality defaults for the lossy encoders and the options of the lossless
// ones, as settings on `enc` and entries in `opts` for avcodec_open2.
void setEncoderDefaults(const AVCodec *codec, AVCodecContext *enc, AVDictionary **opts);
