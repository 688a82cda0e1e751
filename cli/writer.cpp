// Writing media through FFmpeg's libraries.
#include "cli/writer.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "cli/encoder_choice.h"

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

bool MediaWriter::open(const std::string &path, const VideoInfo &info, const std::vector<CopiedStream> &audio,
                       const WriterOptions &opts, std::string &err)
{
    abort();
    target_ = new OutputTarget(path);
    if (!createContainer(path, err))
        return false;
    const AVCodec *codec = chooseEncoder(opts.codec, fmt_->oformat, path, err);
    if (!codec)
        return false;
    AVPixelFormat pixFmt = AV_PIX_FMT_NONE;
    if (opts.pixFmt.empty() && opts.sourceFormat != AV_PIX_FMT_NONE &&
        keepsSourceFormat(codec, fmt_->oformat, opts.sourceFormat, info.width, info.height))
        pixFmt = opts.sourceFormat;
    else if (!choosePixelFormat(opts.pixFmt, codec, fmt_->oformat, info.width, info.height, pixFmt, err))
        return false;
    takesSource_ = pixFmt == opts.sourceFormat;
    source_ = info;
    return addVideoStream(pixFmt, info, err) && openVideoEncoder(codec, pixFmt, info, err) &&
           addAudioStreams(audio, opts.quiet, err) && target_->checkWritable(err) && startFile(err);
}

// The muxer from the name, writing to the temporary name; a single picture
// is rewritten in place rather than numbered.
bool MediaWriter::createContainer(const std::string &path, std::string &err)
{
    const int ret = avformat_alloc_output_context2(&fmt_, nullptr, nullptr, path.c_str());
    if (ret < 0 || !fmt_) {
        err = "cannot tell the output format from the name " + quoted(path) + " (use an extension such as .mkv)";
        return false;
    }
    av_free(fmt_->url);
    fmt_->url = av_strdup(target_->tempPath().c_str());
    imageMuxer_ = strcmp(fmt_->oformat->name, "image2") == 0;
    singleImage_ = imageMuxer_ && !target_->isSequence();
    if (singleImage_)
        av_opt_set(fmt_->priv_data, "update", "1", 0);
    return true;
}

bool MediaWriter::addVideoStream(AVPixelFormat pixFmt, const VideoInfo &info, std::string &err)
{
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
    return true;
}

bool MediaWriter::openVideoEncoder(const AVCodec *codec, AVPixelFormat pixFmt, const VideoInfo &info, std::string &err)
{
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
    return true;
}

bool MediaWriter::openEncoder(const AVCodec *codec, AVPixelFormat pixFmt, AVRational timeBase, std::string &err)
{
    avcodec_free_context(&enc_);
    enc_ = avcodec_alloc_context3(codec);
    if (!enc_) {
        err = "out of memory";
        return false;
    }
    enc_->width = frame_->width;
    enc_->height = frame_->height;
    enc_->pix_fmt = pixFmt;
    enc_->time_base = timeBase;
    enc_->framerate = videoStream_->avg_frame_rate;
    enc_->sample_aspect_ratio = {1, 1};
    enc_->thread_count = 0;
    if (takesSource_) {
        // The source's samples go out as they are: so do their tags.
        enc_->colorspace = source_.colorSpace;
        enc_->color_range = source_.colorRange;
        enc_->color_primaries = source_.colorPrimaries;
        enc_->color_trc = source_.colorTrc;
        enc_->chroma_sample_location = source_.chromaLocation;
    } else {
        describeColours(enc_, pixFmt, frame_->height);
    }
    if (fmt_->oformat->flags & AVFMT_GLOBALHEADER)
        enc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary *opts = nullptr;
    setEncoderDefaults(codec, enc_, &opts);
    const int ret = avcodec_open2(enc_, codec, &opts);
    av_dict_free(&opts);
    if (ret < 0) {
        err = std::string("cannot open the ") + codec->name + " encoder: " + avErrorText(ret);
        return false;
    }
    return true;
}

// Audio goes along where the container can take it, unchanged; pictures
// carry none.
bool MediaWriter::addAudioStreams(const std::vector<CopiedStream> &audio, bool quiet, std::string &err)
{
    if (imageMuxer_)
        return true;
    const AVOutputFormat *ofmt = fmt_->oformat;
    for (const CopiedStream &cs : audio) {
        const AVCodecID id = cs.stream->codecpar->codec_id;
        const int q = avformat_query_codec(ofmt, id, FF_COMPLIANCE_NORMAL);
        if (q == 0 || (q < 0 && ofmt->audio_codec == AV_CODEC_ID_NONE)) {
            if (!quiet)
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
    return true;
}

bool MediaWriter::startFile(std::string &err)
{
    int ret;
    if (!(fmt_->oformat->flags & AVFMT_NOFILE)) {
        ret = avio_open(&fmt_->pb, target_->tempPath().c_str(), AVIO_FLAG_WRITE);
        if (ret < 0) {
            err = "cannot write " + quoted(target_->finalPath()) + ": " + avErrorText(ret);
            return false;
        }
    }
    ret = avformat_write_header(fmt_, nullptr);
    if (ret < 0) {
        err = "cannot start writing " + quoted(target_->finalPath()) + ": " + avErrorText(ret);
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
    return send(frame_, pts, err);
}

bool MediaWriter::writeSource(AVFrame *frame, int64_t pts, std::string &err)
{
    if (frame->format != enc_->pix_fmt || frame->width != enc_->width || frame->height != enc_->height) {
        err = std::string("the input changed to ") + av_get_pix_fmt_name((AVPixelFormat)frame->format) + " " +
              std::to_string(frame->width) + "x" + std::to_string(frame->height) + " within the stream";
        return false;
    }
    // The decoder's notes about the frame mean nothing to the encoder.
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->sample_aspect_ratio = enc_->sample_aspect_ratio;
    return send(frame, pts, err);
}

bool MediaWriter::send(AVFrame *frame, int64_t pts, std::string &err)
{
    int64_t t = av_rescale_q(pts, inTimeBase_, enc_->time_base);
    if (lastPts_ != AV_NOPTS_VALUE && t <= lastPts_)
        t = lastPts_ + 1;
    lastPts_ = t;
    frame->pts = t;
    const int ret = avcodec_send_frame(enc_, frame);
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
