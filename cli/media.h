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
