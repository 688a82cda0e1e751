// Reading and writing media through FFmpeg's libraries: every container and
// codec they support, still images and numbered image sequences included.
//
// The reader decodes the first video stream into host bitmaps and hands the
// packets of audio streams to whoever copies them; the writer encodes host
// bitmaps and muxes copied packets. Both are single-threaded objects with no
// shared state, so decode, filter and encode can later run on their own
// threads with queues between them.
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

struct VideoInfo {
    int width = 0, height = 0;
    AVRational timeBase = {1, 25};   // of the timestamps handed out with frames
    AVRational frameRate = {25, 1};  // nominal; {0, 1} when unknown
    int64_t frameCount = -1;         // from the container, or estimated; -1 unknown
    std::string formatName;          // demuxer
    std::string codecName;
};

// The audio streams of an input, for the writer to copy.
struct CopiedStream {
    int inputIndex;
    const AVStream *stream;
};

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

// Where an output is written: a temporary name beside the final one, renamed
// into place only when everything has been written. Numbered sequences get a
// temporary pattern and every frame file is renamed.
class OutputTarget {
public:
    explicit OutputTarget(std::string finalPath);
    ~OutputTarget();  // removes what is still temporary

    const std::string &finalPath() const { return final_; }
    const std::string &tempPath() const { return temp_; }
    bool isSequence() const { return sequence_; }
    void setFrameCount(int64_t frames, int startNumber)
    {
        frames_ = frames;
        start_ = startNumber;
    }
    bool commit(std::string &err);
    void discard();

private:
    std::string final_, temp_;
    bool sequence_ = false;
    bool done_ = false;
    int64_t frames_ = 0;
    int start_ = 1;
};

// Whether a path names a numbered image sequence (a printf-style %d).
bool isSequencePattern(const std::string &path);

struct WriterOptions {
    std::string codec;    // encoder name; empty: the container's lossless default
    std::string pixFmt;   // empty: the best the encoder offers for 8-bit RGB
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

    bool write(const HostBitmap &bmp, int64_t pts, std::string &err);
    bool copyPacket(const AVPacket *pkt, std::string &err);
    // Flush, finish the container and move it into place.
    bool finish(std::string &err);
    // Drop everything written so far.
    void abort();

private:
    bool openEncoder(const AVCodec *codec, AVPixelFormat pixFmt, AVRational timeBase, std::string &err);
    bool drain(bool flushing, std::string &err);
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
    bool headerWritten_ = false;
    bool singleImage_ = false;
    int64_t framesWritten_ = 0;
    int64_t lastPts_ = AV_NOPTS_VALUE;
};

// FFmpeg's text for an error code.
std::string avErrorText(int code);
