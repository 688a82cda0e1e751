// Reading media through FFmpeg's libraries: every container and codec they
// support, still images and numbered image sequences included.
//
// The reader decodes the first video stream into host bitmaps and hands the
// packets of audio streams to whoever copies them. One thread at a time
// uses a reader (the pipeline's decoding thread during a run); only the
// damage notes arrive from FFmpeg's own threads, under a lock.
#pragma once

#include <stdint.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "hosting/bitmap.h"
#include "cli/convert.h"
#include "cli/media.h"

class MediaReader {
public:
    MediaReader() = default;
    ~MediaReader();
    MediaReader(const MediaReader &) = delete;
    MediaReader &operator=(const MediaReader &) = delete;

    bool open(const std::string &path, std::string &err);
    const VideoInfo &info() const { return info_; }
    std::vector<CopiedStream> audioStreams() const;

    // Packets of audio streams are given to this callback as they are read.
    void setPacketSink(std::function<bool(const AVPacket *, std::string &)> sink) { sink_ = std::move(sink); }

    // Decode the next frame into `bmp` (allocated by the caller at the video
    // size) with its timestamp in info().timeBase. 1: a frame; 0: end of
    // stream; -1: error, `err` says what.
    // A damaged input (an error its demuxer or decoder logged) fails too.
    int next(HostBitmap &bmp, int64_t &pts, std::string &err);

    // The demuxer's or decoder's first error message (FFmpeg's log, any thread).
    void noteDamage(const char *message);

private:
    int readNext(HostBitmap &bmp, int64_t &pts, std::string &err);
    int receive(HostBitmap &bmp, int64_t &pts, std::string &err);

    AVFormatContext *fmt_ = nullptr;
    AVCodecContext *dec_ = nullptr;
    AVPacket *pkt_ = nullptr;
    AVFrame *frame_ = nullptr;
    FrameImporter importer_;
    int videoIndex_ = -1;
    bool inputDone_ = false;
    bool drained_ = false;
    int64_t lastPts_ = AV_NOPTS_VALUE;
    int64_t frameDuration_ = 1;  // in timeBase, for frames without timestamps
    VideoInfo info_;
    std::string path_;
    std::function<bool(const AVPacket *, std::string &)> sink_;
    std::mutex damageLock_;
    std::string damage_;
};
