// What the reader, the writer and the commands share about media: the video
// an input holds, the audio streams that go along with it, and FFmpeg's
// error texts.
//
// Reading is cli/reader.h, writing cli/writer.h; the run puts the two on
// threads of their own with the filter between them (cli/pipeline.h).
#pragma once

#include <stdint.h>

#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

struct VideoInfo {
    int width = 0, height = 0;
    AVRational timeBase = {1, 25};   // of the timestamps handed out with frames
    AVRational frameRate = {25, 1};  // nominal; {0, 1} when unknown
    int64_t frameCount = -1;         // from the container, or estimated; -1 unknown
    std::string formatName;          // demuxer
    std::string codecName;
    // The decoder's pixel format and colour tags: what the correction path
    // keeps and the writer copies onto output in the same format.
    AVPixelFormat pixFmt = AV_PIX_FMT_NONE;
    AVColorSpace colorSpace = AVCOL_SPC_UNSPECIFIED;
    AVColorRange colorRange = AVCOL_RANGE_UNSPECIFIED;
    AVColorPrimaries colorPrimaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic colorTrc = AVCOL_TRC_UNSPECIFIED;
    AVChromaLocation chromaLocation = AVCHROMA_LOC_UNSPECIFIED;
};

// The audio streams of an input, for the writer to copy.
struct CopiedStream {
    int inputIndex;
    const AVStream *stream;
};

// FFmpeg's text for an error code.
std::string avErrorText(int code);

// A path as messages show it: 'path'.
std::string quoted(const std::string &path);
