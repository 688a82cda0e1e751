// Writing media through FFmpeg's libraries: every container and codec they
// support, still images and numbered image sequences included.
//
// The writer encodes host bitmaps and muxes copied audio packets. One thread
// at a time uses a writer (the pipeline's encoding thread during a run).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "hosting/bitmap.h"
#include "cli/convert.h"
#include "cli/media.h"
#include "cli/output_target.h"

struct WriterOptions {
    std::string codec;   // encoder name; empty: the container's lossless default
    std::string pixFmt;  // empty: the source's format (below), else the best the encoder offers for 8-bit RGB
    // The format of a source the correction can work on (else NONE): output
    // in this format is written from the corrected source frames.
    AVPixelFormat sourceFormat = AV_PIX_FMT_NONE;
    bool quiet = false;
};

class MediaWriter {
public:
    MediaWriter() = default;
    ~MediaWriter();  // an unfinished output is discarded
    MediaWriter(const MediaWriter &) = delete;
    MediaWriter &operator=(const MediaWriter &) = delete;

    // Prepare OUTPUT for video of `info` and copies of `audio` (those the
    // container can hold). Nothing appears under the final name before
    // finish().
    bool open(const std::string &path, const VideoInfo &info, const std::vector<CopiedStream> &audio,
              const WriterOptions &opts, std::string &err);
    // Whether the output holds one picture only (an image name without a
    // frame number).
    bool singleImage() const { return singleImage_; }
    std::string describe() const;  // "ffv1 bgr0 in matroska"
    int copiedAudioStreams() const { return (int)audioMap_.size(); }

    // Whether the output is in the source's format (WriterOptions), so
    // frames go through writeSource().
    bool takesSource() const { return takesSource_; }

    bool write(const HostBitmap &bmp, int64_t pts, std::string &err);
    // A frame in the source's format and size, sent as it is.
    bool writeSource(AVFrame *frame, int64_t pts, std::string &err);
    bool copyPacket(const AVPacket *pkt, std::string &err);
    // Flush, finish the container and move it into place.
    bool finish(std::string &err);
    // Drop everything written so far.
    void abort();

private:
    // The steps of open(), in order.
    bool createContainer(const std::string &path, std::string &err);
    bool addVideoStream(AVPixelFormat pixFmt, const VideoInfo &info, std::string &err);
    bool openVideoEncoder(const AVCodec *codec, AVPixelFormat pixFmt, const VideoInfo &info, std::string &err);
    bool addAudioStreams(const std::vector<CopiedStream> &audio, bool quiet, std::string &err);
    bool startFile(std::string &err);

    bool openEncoder(const AVCodec *codec, AVPixelFormat pixFmt, AVRational timeBase, std::string &err);
    bool drain(bool flushing, std::string &err);
    bool send(AVFrame *frame, int64_t pts, std::string &err);
    void close();

    OutputTarget *target_ = nullptr;
    AVFormatContext *fmt_ = nullptr;
    AVCodecContext *enc_ = nullptr;
    AVStream *videoStream_ = nullptr;
    AVFrame *frame_ = nullptr;
    AVPacket *pkt_ = nullptr;
    FrameExporter exporter_;
    AVRational inTimeBase_ = {1, 25};
    struct AudioMap {
        int inputIndex;
        AVRational inTimeBase;
        AVStream *out;
    };
    std::vector<AudioMap> audioMap_;
    bool imageMuxer_ = false;
    bool headerWritten_ = false;
    bool singleImage_ = false;
    bool takesSource_ = false;
    VideoInfo source_;
    int64_t framesWritten_ = 0;
    int64_t lastPts_ = AV_NOPTS_VALUE;
};
