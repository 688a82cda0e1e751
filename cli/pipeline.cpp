// The decode -> filter -> encode pipeline of a run.
#include "cli/pipeline.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "cli/process_wide.h"
#include "cli/progress.h"
#include "cli/reader.h"
#include "cli/writer.h"

namespace {

// The three stages over one job each. Each stage owns a job only between
// taking it and passing it on; a job that is not a FRAME passes through
// untouched until encode() ends the run with it.
class Stages {
public:
    Stages(MediaReader &reader, const FilterStep &filter, MediaWriter &writer, Progress &progress, int64_t limit,
           bool onSource)
        : reader_(reader), filter_(filter), writer_(writer), progress_(progress), limit_(limit), onSource_(onSource)
    {
        // The reader hands audio packets over while it looks for the next
        // frame; they stay with that frame's job.
        reader_.setPacketSink([this](const AVPacket *pkt, std::string &e) { return keepAudio(pkt, e); });
    }
    ~Stages() { reader_.setPacketSink(nullptr); }
    Stages(const Stages &) = delete;
    Stages &operator=(const Stages &) = delete;

    void decode(FrameJob &job)
    {
        job.dropAudio();
        job.error.clear();
        if (interruptRequested()) {
            job.state = FrameJob::INTERRUPTED;
            return;
        }
        if (limit_ >= 0 && read_ >= limit_) {
            job.state = FrameJob::END;
            return;
        }
        reading_ = &job;
        const int got = reader_.next(job.src, onSource_ ? job.source : nullptr, job.pts, job.error);
        reading_ = nullptr;
        job.state = got > 0 ? FrameJob::FRAME : got == 0 ? FrameJob::END : FrameJob::FAILED;
        if (got > 0)
            read_++;
    }

    void filter(FrameJob &job)
    {
        if (job.state != FrameJob::FRAME)
            return;
        if (interruptRequested()) {
            job.state = FrameJob::INTERRUPTED;
            return;
        }
        if (!filter_(job, job.error)) {
            job.error += " at frame " + std::to_string(filtered_ + 1);
            job.state = FrameJob::FAILED;
            return;
        }
        filtered_++;
        progress_.frameDone();
    }

    // False once the run is over; outcome() and message() say how.
    bool encode(FrameJob &job)
    {
        std::string err;
        for (const AVPacket *p : job.audio)
            if (!writer_.copyPacket(p, err))
                return stop(FrameJob::FAILED, err);
        job.dropAudio();
        if (job.state != FrameJob::FRAME)
            return stop(job.state, job.error);
        const bool written =
            onSource_ ? writer_.writeSource(job.source, job.pts, err) : writer_.write(job.dst, job.pts, err);
        if (!written)
            return stop(FrameJob::FAILED, err);
        return true;
    }

    // Ends the run from outside the stages (threads that cannot start).
    void fail(const std::string &message) { stop(FrameJob::FAILED, message); }

    FrameJob::State outcome() const { return outcome_; }
    const std::string &message() const { return message_; }
    int64_t framesFiltered() const { return filtered_; }

private:
    bool keepAudio(const AVPacket *pkt, std::string &err)
    {
        AVPacket *copy = av_packet_clone(pkt);
        if (copy) {
            try {
                reading_->audio.push_back(copy);
                return true;
            } catch (const std::bad_alloc &) {
                av_packet_free(&copy);
            }
        }
        err = "out of memory";
        return false;
    }
    bool stop(FrameJob::State how, const std::string &message)
    {
        outcome_ = how;
        message_ = message;
        return false;
    }

    MediaReader &reader_;
    const FilterStep &filter_;
    MediaWriter &writer_;
    Progress &progress_;
    const int64_t limit_;
    const bool onSource_;
    // Each of these belongs to one stage, so to one thread.
    FrameJob *reading_ = nullptr;  // decode
    int64_t read_ = 0;             // decode
    int64_t filtered_ = 0;         // filter
    FrameJob::State outcome_ = FrameJob::END;
    std::string message_;  // encode
};

// A queue of jobs between two stages. pop waits for a job and returns false
// once the queue is closed; what is still in it then is abandoned.
class Channel {
public:
    void push(FrameJob *job)
    {
        std::lock_guard<std::mutex> hold(lock_);
        items_.push_back(job);
        ready_.notify_one();
    }
    bool pop(FrameJob *&job)
    {
        std::unique_lock<std::mutex> hold(lock_);
        ready_.wait(hold, [this] { return !items_.empty() || closed_; });
        if (closed_)
            return false;
        job = items_.front();
        items_.pop_front();
        return true;
    }
    void close()
    {
        std::lock_guard<std::mutex> hold(lock_);
        closed_ = true;
        ready_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<FrameJob *> items_;
    bool closed_ = false;
};

void runSerial(Stages &stages, FrameJob &job)
{
    do {
        stages.decode(job);
        stages.filter(job);
    } while (stages.encode(job));
}

// Jobs go round free -> decoded -> filtered -> free. A stage decides whether
// it goes on from the job before it passes the job on: once passed on, the
// job may already be on its next round. The encoding thread ends every run
// (at a mark, or at a failure of its own) and then closes all the queues,
// which releases any stage still waiting; no thread outlives this function.
void runThreaded(Stages &stages, const FrameJobs &jobs)
{
    Channel freeJobs, decoded, filtered;
    for (const auto &j : jobs)
        freeJobs.push(j.get());
    const auto closeAll = [&] {
        freeJobs.close();
        decoded.close();
        filtered.close();
    };
    const auto decodeLoop = [&] {
        for (FrameJob *j = nullptr; freeJobs.pop(j);) {
            stages.decode(*j);
            const bool more = j->state == FrameJob::FRAME;
            decoded.push(j);
            if (!more)
                return;
        }
    };
    const auto encodeLoop = [&] {
        for (FrameJob *j = nullptr; filtered.pop(j) && stages.encode(*j);)
            freeJobs.push(j);
        closeAll();
    };

    std::thread decoder, encoder;
    try {
        decoder = std::thread(decodeLoop);
        encoder = std::thread(encodeLoop);
    } catch (const std::system_error &e) {
        closeAll();
        if (decoder.joinable())
            decoder.join();
        stages.fail(std::string("cannot start the decoding and encoding threads: ") + e.what());
        return;
    }
    for (FrameJob *j = nullptr; decoded.pop(j);) {
        stages.filter(*j);
        const bool more = j->state == FrameJob::FRAME;
        filtered.push(j);
        if (!more)
            break;
    }
    decoder.join();
    encoder.join();
}

}  // namespace

bool allocateJobs(int count, int w, int h, FrameJobs &jobs)
{
    for (int i = 0; i < count; i++) {
        jobs.push_back(std::make_unique<FrameJob>());
        FrameJob &job = *jobs.back();
        job.source = av_frame_alloc();
        if (!job.source || !job.src.allocate(w, h) || !job.dst.allocate(w, h))
            return false;
    }
    return true;
}

PipelineResult runPipeline(MediaReader &reader, const FilterStep &filter, MediaWriter &writer, Progress &progress,
                           int64_t limit, const FrameJobs &jobs, bool serial, bool onSource)
{
    Stages stages(reader, filter, writer, progress, limit, onSource);
    if (serial)
        runSerial(stages, *jobs[0]);
    else
        runThreaded(stages, jobs);
    PipelineResult result;
    result.outcome = stages.outcome();
    result.message = stages.message();
    result.framesFiltered = stages.framesFiltered();
    return result;
}
