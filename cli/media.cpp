// Reading and writing media through FFmpeg's libraries.
#include "cli/media.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

std::string avErrorText(int code)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

namespace {

std::string quoted(const std::string &path)
{
    return "'" + path + "'";
}

void splitPath(const std::string &path, std::string &dir, std::string &base)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        dir.clear();
        base = path;
    } else {
        dir = path.substr(0, slash + 1);
        base = path.substr(slash + 1);
    }
}

std::string frameFileName(const std::string &pattern, int64_t number)
{
    char buf[4096];
    if (av_get_frame_filename2(buf, sizeof buf, pattern.c_str(), (int)number, AV_FRAME_FILENAME_FLAGS_MULTIPLE) < 0)
        return std::string();
    return buf;
}

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

bool isSequencePattern(const std::string &path)
{
    std::string dir, base;
    splitPath(path, dir, base);
    char buf[4096];
    return av_get_frame_filename2(buf, sizeof buf, base.c_str(), 1, 0) >= 0;
}

// ---------------------------------------------------------------- reader

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

int MediaReader::receive(HostBitmap &bmp, int64_t &pts, std::string &err)
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
    const bool ok = importer_.import(frame_, bmp, err);
    int64_t t = frame_->best_effort_timestamp;
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
    const int got = readNext(bmp, pts, err);
    if (got < 0)
        return got;
    std::lock_guard<std::mutex> hold(damageLock_);
    if (!damage_.empty()) {
        err = "damaged input " + quoted(path_) + ": " + damage_;
        return -1;
    }
    return got;
}

int MediaReader::readNext(HostBitmap &bmp, int64_t &pts, std::string &err)
{
    for (;;) {
        if (drained_)
            return 0;
        const int got = receive(bmp, pts, err);
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

// ---------------------------------------------------------------- target

OutputTarget::OutputTarget(std::string finalPath) : final_(std::move(finalPath))
{
    std::string dir, base;
    splitPath(final_, dir, base);
    sequence_ = isSequencePattern(final_);
    // A hidden name in the same directory, so that the rename stays on one
    // file system; the extension stays for the muxers that look at it.
    temp_ = dir + ".quorvel-" + std::to_string((long)getpid()) + "-" + base;
}

OutputTarget::~OutputTarget()
{
    discard();
}

bool OutputTarget::commit(std::string &err)
{
    if (done_)
        return true;
    if (!sequence_) {
        if (rename(temp_.c_str(), final_.c_str()) != 0) {
            err = "cannot move the finished output to " + quoted(final_) + ": " + strerror(errno);
            discard();
            return false;
        }
    } else {
        for (int64_t i = 0; i < frames_; i++) {
            const std::string from = frameFileName(temp_, start_ + i);
            const std::string to = frameFileName(final_, start_ + i);
            if (from.empty() || to.empty() || rename(from.c_str(), to.c_str()) != 0) {
                err = "cannot move the finished frame to " + quoted(to) + ": " + strerror(errno);
                // Frames already renamed stay; the rest go.
                for (int64_t k = i; k < frames_; k++)
                    unlink(frameFileName(temp_, start_ + k).c_str());
                done_ = true;
                return false;
            }
        }
    }
    done_ = true;
    return true;
}

void OutputTarget::discard()
{
    if (done_)
        return;
    done_ = true;
    if (!sequence_) {
        unlink(temp_.c_str());
        return;
    }
    // One beyond the count: a frame may have been opened when writing stopped.
    for (int64_t i = 0; i <= frames_; i++)
        unlink(frameFileName(temp_, start_ + i).c_str());
}

// ---------------------------------------------------------------- writer

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

MediaWriter::~MediaWriter()
{
    abort();
}

void MediaWriter::close()
{
    if (fmt_ && fmt_->pb && !(fmt_->oformat->flags & AVFMT_NOFILE))
        avio_closep(&fmt_->pb);
    avformat_free_context(fmt_);
    fmt_ = nullptr;
    avcodec_free_context(&enc_);
    av_frame_free(&frame_);
    av_packet_free(&pkt_);
    videoStream_ = nullptr;
    audioMap_.clear();
}

void MediaWriter::abort()
{
    close();
    if (target_) {
        target_->setFrameCount(framesWritten_, 1);
        target_->discard();
        delete target_;
        target_ = nullptr;
    }
}

bool MediaWriter::openEncoder(const AVCodec *codec, AVPixelFormat pixFmt, AVRational timeBase, std::string &err)
{
    avcodec_free_context(&enc_);
    enc_ = avcodec_alloc_context3(codec);
    if (!enc_) {
        err = "out of memory";
        return false;
    }
    const int w = frame_->width, h = frame_->height;
    enc_->width = w;
    enc_->height = h;
    enc_->pix_fmt = pixFmt;
    enc_->time_base = timeBase;
    enc_->framerate = videoStream_->avg_frame_rate;
    enc_->sample_aspect_ratio = {1, 1};
    enc_->thread_count = 0;
    if (isYuv(pixFmt)) {
        const AVColorSpace cs = defaultColorSpace(h);
        enc_->colorspace = cs;
        enc_->color_primaries = cs == AVCOL_SPC_BT709 ? AVCOL_PRI_BT709 : AVCOL_PRI_BT470BG;
        enc_->color_trc = cs == AVCOL_SPC_BT709 ? AVCOL_TRC_BT709 : AVCOL_TRC_GAMMA28;
        const char *n = av_get_pix_fmt_name(pixFmt);
        enc_->color_range = (n && strncmp(n, "yuvj", 4) == 0) ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    }
    if (fmt_->oformat->flags & AVFMT_GLOBALHEADER)
        enc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    // Quality defaults for the lossy encoders; lossless ones need none.
    const std::string name = codec->name;
    AVDictionary *opts = nullptr;
    if (name == "libx264" || name == "libx264rgb") {
        av_dict_set(&opts, "crf", "18", 0);
        av_dict_set(&opts, "preset", "medium", 0);
    } else if (name == "libvpx-vp9" || name == "libvpx") {
        av_dict_set(&opts, "crf", "20", 0);
        av_dict_set(&opts, "b", "0", 0);
    } else if (name == "mpeg4" || name == "mjpeg" || name == "msmpeg4") {
        enc_->flags |= AV_CODEC_FLAG_QSCALE;
        enc_->global_quality = FF_QP2LAMBDA * 2;
    } else if (name == "ffv1" && enc_->width > 1) {
        // Slices (level 3, slice checksums) need pictures at least two pixels
        // wide; narrower ones stay at the encoder's default level.
        av_dict_set(&opts, "level", "3", 0);
        av_dict_set(&opts, "slicecrc", "1", 0);
    }
    const int ret = avcodec_open2(enc_, codec, &opts);
    av_dict_free(&opts);
    if (ret < 0) {
        err = std::string("cannot open the ") + codec->name + " encoder: " + avErrorText(ret);
        return false;
    }
    return true;
}

bool MediaWriter::open(const std::string &path, const VideoInfo &info, const std::vector<CopiedStream> &audio,
                       const WriterOptions &opts, std::string &err)
{
    abort();
    target_ = new OutputTarget(path);
    int ret = avformat_alloc_output_context2(&fmt_, nullptr, nullptr, path.c_str());
    if (ret < 0 || !fmt_) {
        err = "cannot tell the output format from the name " + quoted(path) + " (use an extension such as .mkv)";
        return false;
    }
    const AVOutputFormat *ofmt = fmt_->oformat;
    av_free(fmt_->url);
    fmt_->url = av_strdup(target_->tempPath().c_str());
    const bool imageMuxer = strcmp(ofmt->name, "image2") == 0;
    singleImage_ = imageMuxer && !target_->isSequence();
    if (singleImage_)
        av_opt_set(fmt_->priv_data, "update", "1", 0);

    const AVCodec *codec = nullptr;
    if (!opts.codec.empty()) {
        codec = avcodec_find_encoder_by_name(opts.codec.c_str());
        if (!codec) {
            err = "unknown encoder '" + opts.codec + "' (see 'ffmpeg -encoders')";
            return false;
        }
        if (codec->type != AVMEDIA_TYPE_VIDEO) {
            err = "'" + opts.codec + "' is not a video encoder";
            return false;
        }
        if (avformat_query_codec(ofmt, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
            err = std::string("the ") + ofmt->name + " container cannot hold " + codec->name + " video";
            return false;
        }
    } else {
        codec = defaultEncoder(ofmt, path);
        if (!codec) {
            err = std::string("no video encoder available for the ") + ofmt->name + " container";
            return false;
        }
    }
    AVPixelFormat pixFmt = AV_PIX_FMT_NONE;
    if (!opts.pixFmt.empty()) {
        pixFmt = av_get_pix_fmt(opts.pixFmt.c_str());
        if (pixFmt == AV_PIX_FMT_NONE) {
            err = "unknown pixel format '" + opts.pixFmt + "'";
            return false;
        }
        if (!encoderTakes(codec, pixFmt)) {
            err = std::string("the ") + codec->name + " encoder cannot take " + opts.pixFmt + " (it takes " +
                  encoderFormats(codec) + ")";
            return false;
        }
    } else {
        pixFmt = defaultPixFmt(codec, ofmt, info.width, info.height);
    }

    frame_ = av_frame_alloc();
    pkt_ = av_packet_alloc();
    videoStream_ = avformat_new_stream(fmt_, nullptr);
    if (!frame_ || !pkt_ || !videoStream_) {
        err = "out of memory";
        return false;
    }
    frame_->width = info.width;
    frame_->height = info.height;
    frame_->format = pixFmt;
    if (av_frame_get_buffer(frame_, 64) < 0) {
        err = "out of memory";
        return false;
    }
    if (info.frameRate.num > 0) {
        videoStream_->avg_frame_rate = info.frameRate;
        videoStream_->r_frame_rate = info.frameRate;
    }
    inTimeBase_ = info.timeBase;
    // Timestamps stay in the input's time base; encoders that cannot take it
    // (e.g. those limited to 16-bit denominators) count in frames instead.
    if (!openEncoder(codec, pixFmt, info.timeBase, err)) {
        if (info.frameRate.num <= 0)
            return false;
        std::string err2;
        if (!openEncoder(codec, pixFmt, av_inv_q(info.frameRate), err2))
            return false;
        err.clear();
    }
    frame_->colorspace = enc_->colorspace;
    frame_->color_range = enc_->color_range;
    avcodec_parameters_from_context(videoStream_->codecpar, enc_);
    videoStream_->time_base = enc_->time_base;

    // Audio goes along where the container can take it, unchanged.
    if (!imageMuxer) {
        for (const CopiedStream &cs : audio) {
            const AVCodecID id = cs.stream->codecpar->codec_id;
            const int q = avformat_query_codec(ofmt, id, FF_COMPLIANCE_NORMAL);
            if (q == 0 || (q < 0 && ofmt->audio_codec == AV_CODEC_ID_NONE)) {
                if (!opts.quiet)
                    fprintf(stderr, "quorvel: note: the %s container cannot hold %s audio; stream %d left out\n",
                            ofmt->name, avcodec_get_name(id), cs.inputIndex);
                continue;
            }
            AVStream *out = avformat_new_stream(fmt_, nullptr);
            if (!out || avcodec_parameters_copy(out->codecpar, cs.stream->codecpar) < 0) {
                err = "out of memory";
                return false;
            }
            out->codecpar->codec_tag = 0;
            out->time_base = cs.stream->time_base;
            av_dict_copy(&out->metadata, cs.stream->metadata, 0);
            out->disposition = cs.stream->disposition;
            audioMap_.push_back({cs.inputIndex, cs.stream->time_base, out});
        }
    }

    // Find out now, not after the whole video, whether the place is writable.
    const std::string probe = target_->isSequence() ? frameFileName(target_->tempPath(), 1) : target_->tempPath();
    FILE *f = fopen(probe.c_str(), "wb");
    if (!f) {
        err = "cannot write " + quoted(path) + ": " + strerror(errno);
        return false;
    }
    fclose(f);
    if (target_->isSequence())
        unlink(probe.c_str());

    if (!(ofmt->flags & AVFMT_NOFILE)) {
        ret = avio_open(&fmt_->pb, target_->tempPath().c_str(), AVIO_FLAG_WRITE);
        if (ret < 0) {
            err = "cannot write " + quoted(path) + ": " + avErrorText(ret);
            return false;
        }
    }
    ret = avformat_write_header(fmt_, nullptr);
    if (ret < 0) {
        err = "cannot start writing " + quoted(path) + ": " + avErrorText(ret);
        return false;
    }
    headerWritten_ = true;
    return true;
}

std::string MediaWriter::describe() const
{
    if (!enc_)
        return std::string();
    return std::string(enc_->codec->name) + " " + av_get_pix_fmt_name(enc_->pix_fmt) + " in " + fmt_->oformat->name;
}

bool MediaWriter::drain(bool flushing, std::string &err)
{
    for (;;) {
        int ret = avcodec_receive_packet(enc_, pkt_);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return ret == AVERROR_EOF || !flushing;
        if (ret < 0) {
            err = "encode error: " + avErrorText(ret);
            return false;
        }
        av_packet_rescale_ts(pkt_, enc_->time_base, videoStream_->time_base);
        pkt_->stream_index = videoStream_->index;
        ret = av_interleaved_write_frame(fmt_, pkt_);
        if (ret < 0) {
            err = "cannot write " + quoted(target_->finalPath()) + ": " + avErrorText(ret);
            return false;
        }
    }
}

bool MediaWriter::write(const HostBitmap &bmp, int64_t pts, std::string &err)
{
    int ret = av_frame_make_writable(frame_);
    if (ret < 0) {
        err = "out of memory";
        return false;
    }
    if (!exporter_.exportTo(bmp, frame_, err))
        return false;
    int64_t t = av_rescale_q(pts, inTimeBase_, enc_->time_base);
    if (lastPts_ != AV_NOPTS_VALUE && t <= lastPts_)
        t = lastPts_ + 1;
    lastPts_ = t;
    frame_->pts = t;
    ret = avcodec_send_frame(enc_, frame_);
    if (ret < 0) {
        err = "encode error: " + avErrorText(ret);
        return false;
    }
    framesWritten_++;
    return drain(false, err);
}

bool MediaWriter::copyPacket(const AVPacket *pkt, std::string &err)
{
    for (const AudioMap &m : audioMap_) {
        if (m.inputIndex != pkt->stream_index)
            continue;
        AVPacket *copy = av_packet_clone(pkt);
        if (!copy) {
            err = "out of memory";
            return false;
        }
        av_packet_rescale_ts(copy, m.inTimeBase, m.out->time_base);
        copy->stream_index = m.out->index;
        copy->pos = -1;
        const int ret = av_interleaved_write_frame(fmt_, copy);
        av_packet_free(&copy);
        if (ret < 0) {
            err = "cannot write " + quoted(target_->finalPath()) + ": " + avErrorText(ret);
            return false;
        }
        return true;
    }
    return true;
}

bool MediaWriter::finish(std::string &err)
{
    if (!fmt_ || !headerWritten_) {
        err = "nothing to finish";
        return false;
    }
    int ret = avcodec_send_frame(enc_, nullptr);
    if (ret < 0 && ret != AVERROR_EOF) {
        err = "encode error: " + avErrorText(ret);
        return false;
    }
    if (!drain(true, err))
        return false;
    ret = av_write_trailer(fmt_);
    if (ret < 0) {
        err = "cannot finish " + quoted(target_->finalPath()) + ": " + avErrorText(ret);
        return false;
    }
    if (fmt_->pb && !(fmt_->oformat->flags & AVFMT_NOFILE)) {
        ret = avio_closep(&fmt_->pb);
        if (ret < 0) {
            err = "cannot finish " + quoted(target_->finalPath()) + ": " + avErrorText(ret);
            return false;
        }
    }
    close();
    target_->setFrameCount(framesWritten_, 1);
    const bool ok = target_->commit(err);
    delete target_;
    target_ = nullptr;
    return ok;
}
