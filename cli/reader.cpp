// Reading media through FFmpeg's libraries.
#include "cli/reader.h"

#include <errno.h>
#include <stdarg.h>
#include <string.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

bool isAudio(const AVStream *st)
{
    return st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

// FFmpeg reports some damage only through its log: a slice whose checksum
// does not match (the decoder conceals it), a file that ends inside an element
// (the demuxer takes it for the end of the file). Error messages of a reader's
// demuxer or decoder, from any of the decoder's threads, go to that reader
// (found through the contexts' opaque pointer), so that a damaged input fails
// instead of passing for a shorter or patched-up clip.
void logCallback(void *avcl, int level, const char *fmt, va_list vl)
{
    const AVClass *cls = avcl ? *(const AVClass *const *)avcl : nullptr;
    if (level <= AV_LOG_ERROR && cls) {
        const AVClassCategory category = cls->get_category ? cls->get_category(avcl) : cls->category;
        void *owner = nullptr;
        if (category == AV_CLASS_CATEGORY_DEMUXER && strcmp(cls->class_name, "AVFormatContext") == 0)
            owner = ((AVFormatContext *)avcl)->opaque;
        else if (category == AV_CLASS_CATEGORY_DECODER && strcmp(cls->class_name, "AVCodecContext") == 0)
            owner = ((AVCodecContext *)avcl)->opaque;
        if (owner) {
            char line[256];
            int prefix = 0;
            va_list copy;
            va_copy(copy, vl);
            av_log_format_line2(avcl, level, fmt, copy, line, sizeof line, &prefix);
            va_end(copy);
            ((MediaReader *)owner)->noteDamage(line);
        }
    }
    av_log_default_callback(avcl, level, fmt, vl);
}

}  // namespace

MediaReader::~MediaReader()
{
    av_frame_free(&frame_);
    av_packet_free(&pkt_);
    avcodec_free_context(&dec_);
    avformat_close_input(&fmt_);
}

void MediaReader::noteDamage(const char *message)
{
    std::lock_guard<std::mutex> hold(damageLock_);
    if (!damage_.empty())
        return;
    damage_ = message;
    while (!damage_.empty() && strchr("\n !.", damage_.back()))
        damage_.pop_back();
    if (damage_.empty())
        damage_ = "damaged data";
}

bool MediaReader::open(const std::string &path, std::string &err)
{
    static const bool logWatched = (av_log_set_callback(logCallback), true);
    (void)logWatched;
    path_ = path;
    fmt_ = avformat_alloc_context();
    if (!fmt_) {
        err = "out of memory";
        return false;
    }
    fmt_->opaque = this;
    int ret = avformat_open_input(&fmt_, path.c_str(), nullptr, nullptr);
    if (ret < 0) {
        err = "cannot open input " + quoted(path) + ": " + avErrorText(ret);
        return false;
    }
    ret = avformat_find_stream_info(fmt_, nullptr);
    if (ret < 0) {
        err = "cannot read the streams of " + quoted(path) + ": " + avErrorText(ret);
        return false;
    }
    const AVCodec *codec = nullptr;
    videoIndex_ = av_find_best_stream(fmt_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (videoIndex_ < 0) {
        err = quoted(path) + (videoIndex_ == AVERROR_DECODER_NOT_FOUND ? " needs a video decoder this FFmpeg lacks"
                                                                       : " has no video stream");
        return false;
    }
    AVStream *st = fmt_->streams[videoIndex_];
    dec_ = avcodec_alloc_context3(codec);
    pkt_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!dec_ || !pkt_ || !frame_) {
        err = "out of memory";
        return false;
    }
    dec_->opaque = this;
    avcodec_parameters_to_context(dec_, st->codecpar);
    dec_->pkt_timebase = st->time_base;
    dec_->thread_count = 0;
    ret = avcodec_open2(dec_, codec, nullptr);
    if (ret < 0) {
        err = "cannot decode " + quoted(path) + ": " + avErrorText(ret);
        return false;
    }
    if (dec_->width <= 0 || dec_->height <= 0) {
        err = quoted(path) + " has no picture size";
        return false;
    }
    info_.width = dec_->width;
    info_.height = dec_->height;
    info_.timeBase = st->time_base;
    info_.frameRate = av_guess_frame_rate(fmt_, st, nullptr);
    info_.formatName = fmt_->iformat->name;
    info_.codecName = codec->name;
    info_.pixFmt = dec_->pix_fmt;
    info_.colorSpace = dec_->colorspace;
    info_.colorRange = dec_->color_range;
    info_.colorPrimaries = dec_->color_primaries;
    info_.colorTrc = dec_->color_trc;
    info_.chromaLocation = dec_->chroma_sample_location;
    if (info_.frameRate.num > 0 && info_.frameRate.den > 0)
        frameDuration_ = av_rescale_q(1, av_inv_q(info_.frameRate), info_.timeBase);
    else
        info_.frameRate = {0, 1};
    if (frameDuration_ <= 0)
        frameDuration_ = 1;
    if (st->nb_frames > 0) {
        info_.frameCount = st->nb_frames;
    } else if (info_.frameRate.num > 0) {
        if (st->duration > 0 && st->duration != AV_NOPTS_VALUE)
            info_.frameCount = av_rescale_q(st->duration, st->time_base, av_inv_q(info_.frameRate));
        else if (fmt_->duration > 0)
            info_.frameCount = av_rescale_q(fmt_->duration, AV_TIME_BASE_Q, av_inv_q(info_.frameRate));
    }
    return true;
}

std::vector<CopiedStream> MediaReader::audioStreams() const
{
    std::vector<CopiedStream> out;
    for (unsigned i = 0; fmt_ && i < fmt_->nb_streams; i++)
        if (isAudio(fmt_->streams[i]))
            out.push_back({(int)i, fmt_->streams[i]});
    return out;
}

int MediaReader::receive(HostBitmap *bmp, AVFrame *source, int64_t &pts, std::string &err)
{
    int ret = avcodec_receive_frame(dec_, frame_);
    if (ret == AVERROR(EAGAIN))
        return 2;
    if (ret == AVERROR_EOF) {
        drained_ = true;
        return 0;
    }
    if (ret < 0) {
        err = "decode error in " + quoted(path_) + ": " + avErrorText(ret);
        return -1;
    }
    if (frame_->decode_error_flags || (frame_->flags & AV_FRAME_FLAG_CORRUPT)) {
        err = "decode error in " + quoted(path_) + ": a damaged frame";
        av_frame_unref(frame_);
        return -1;
    }
    bool ok = true;
    if (bmp && source) {
        ok = frame_->width == info_.width && frame_->height == info_.height;
        if (!ok)
            err = "the picture size changed within the stream";
        else
            ok = sourceImporter_.import(frame_, xrgbView(*bmp), err);
    } else if (bmp) {
        ok = importer_.import(frame_, *bmp, err);
    }
    int64_t t = frame_->best_effort_timestamp;
    if (ok && source) {
        av_frame_unref(source);
        av_frame_move_ref(source, frame_);
    }
    av_frame_unref(frame_);
    if (!ok) {
        err = quoted(path_) + ": " + err;
        return -1;
    }
    // Encoders need strictly increasing timestamps; frames that carry none
    // (or a repeated one) follow the previous one at the nominal rate.
    if (t == AV_NOPTS_VALUE)
        t = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + frameDuration_;
    else if (lastPts_ != AV_NOPTS_VALUE && t <= lastPts_)
        t = lastPts_ + 1;
    lastPts_ = t;
    pts = t;
    return 1;
}

int MediaReader::next(HostBitmap &bmp, int64_t &pts, std::string &err)
{
    return next(bmp, nullptr, pts, err);
}

int MediaReader::nextFrame(AVFrame *frame, int64_t &pts, std::string &err)
{
    return checked(readNext(nullptr, frame, pts, err), err);
}

int MediaReader::next(HostBitmap &bmp, AVFrame *source, int64_t &pts, std::string &err)
{
    return checked(readNext(&bmp, source, pts, err), err);
}

int MediaReader::checked(int got, std::string &err)
{
    if (got < 0)
        return got;
    std::lock_guard<std::mutex> hold(damageLock_);
    if (!damage_.empty()) {
        err = "damaged input " + quoted(path_) + ": " + damage_;
        return -1;
    }
    return got;
}

int MediaReader::readNext(HostBitmap *bmp, AVFrame *source, int64_t &pts, std::string &err)
{
    for (;;) {
        if (drained_)
            return 0;
        const int got = receive(bmp, source, pts, err);
        if (got != 2)
            return got;
        if (inputDone_) {
            // The flush packet went in; the decoder owes only EOF now.
            err = "decode error in " + quoted(path_) + ": the decoder stalled";
            return -1;
        }
        int ret = av_read_frame(fmt_, pkt_);
        if (ret == AVERROR_EOF) {
            inputDone_ = true;
            avcodec_send_packet(dec_, nullptr);
            continue;
        }
        if (ret < 0) {
            err = "read error in " + quoted(path_) + ": " + avErrorText(ret);
            return -1;
        }
        if (pkt_->stream_index == videoIndex_) {
            ret = avcodec_send_packet(dec_, pkt_);
            av_packet_unref(pkt_);
            if (ret < 0) {
                err = "decode error in " + quoted(path_) + ": " + avErrorText(ret);
                return -1;
            }
        } else {
            bool ok = true;
            if (sink_ && isAudio(fmt_->streams[pkt_->stream_index]))
                ok = sink_(pkt_, err);
            av_packet_unref(pkt_);
            if (!ok)
                return -1;
        }
    }
}
