// The decode -> filter -> encode pipeline of a run.
//
// Frames go through FrameJobs. By default decoding and encoding run on
// threads of their own with a few jobs in flight, and the filter step on the
// calling thread, which takes the frames one at a time and in order, as the
// editor would hand them; serially the same stages run one after another on
// the calling thread alone. Both make the same calls on the reader, the
// filter step and the writer in the same order, so their outputs and errors
// are the same.
#pragma once

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "hosting/bitmap.h"

class MediaReader;
class MediaWriter;
class Progress;

// A frame on its way through the stages, or the mark that ends the run:
// the end of the input, a failure, or an interruption. Marks travel in
// frame order like frames, so the run stops at the first one the writing
// stage meets, where a single thread would have stopped.
struct FrameJob {
    enum State { FRAME, END, FAILED, INTERRUPTED };

    HostBitmap src, dst;
    int64_t pts = 0;
    State state = FRAME;
    std::string error;              // FAILED: what went wrong
    std::vector<AVPacket *> audio;  // read before this frame, written before it

    FrameJob() = default;
    ~FrameJob() { dropAudio(); }
    FrameJob(const FrameJob &) = delete;
    FrameJob &operator=(const FrameJob &) = delete;
    void dropAudio()
    {
        for (AVPacket *p : audio)
            av_packet_free(&p);
        audio.clear();
    }
};

using FrameJobs = std::vector<std::unique_ptr<FrameJob>>;

// Jobs in flight: one being decoded, one filtered, one encoded, and one
// spare so that no stage waits for a hand-over.
const int JOBS_IN_FLIGHT = 4;

// `count` jobs with bitmaps of w x h. False when memory runs out.
bool allocateJobs(int count, int w, int h, FrameJobs &jobs);

// What the filter does to one frame: src in, dst out; false with a message
// in `err` on failure. Any number of steps (the module, a colour correction)
// can be composed into one.
using FilterStep = std::function<bool(HostBitmap &src, HostBitmap &dst, std::string &err)>;

struct PipelineResult {
    FrameJob::State outcome = FrameJob::END;  // END: the input or `limit` ran out
    std::string message;                      // FAILED: what went wrong
    int64_t framesFiltered = 0;
};

// Every frame of `reader` (at most `limit`, -1: all) through `filter` into
// `writer`, with the audio packets read on the way; interrupt requests stop
// it at the next frame. `jobs` (at least one) carry the frames; `serial`
// uses the first one on this thread alone. No thread outlives the call.
PipelineResult runPipeline(MediaReader &reader, const FilterStep &filter, MediaWriter &writer, Progress &progress,
                           int64_t limit, const FrameJobs &jobs, bool serial);
