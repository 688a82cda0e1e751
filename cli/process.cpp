// The main job: every frame of INPUT through one module instance into OUTPUT.
//
// Frames go decode -> filter -> encode through FrameJobs. By default decoding
// and encoding run on threads of their own with a few jobs in flight, and the
// module on this (the calling) thread, which takes the frames one at a time
// and in order, as the editor would hand them; --serial runs the same stages
// one after another on this thread alone. Both make the same calls on the
// reader, the module and the writer in the same order, so their outputs and
// errors are the same.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/media.h"
#include "hosting/module.h"
#include "cli/progress.h"
#include "engine/dsp.h"

namespace {

// Set by the handler on whichever thread the signal lands, read by all.
std::atomic<int> interruptFlag{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

void onSignal(int)
{
    interruptFlag.store(1);
}

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

    ~FrameJob() { dropAudio(); }
    void dropAudio()
    {
        for (AVPacket *p : audio)
            av_packet_free(&p);
        audio.clear();
    }
};

// Jobs in flight: one being decoded, one filtered, one encoded, and one
// spare so that no stage waits for a hand-over.
const int JOBS_IN_FLIGHT = 4;

// The three stages over one job each. Each stage owns a job only between
// taking it and passing it on; a job that is not a FRAME passes through
// untouched until encode() ends the run with it.
class Stages {
public:
    Stages(MediaReader &reader, LoadedModule &module, MediaWriter &writer, Progress &progress, int64_t limit)
        : reader_(reader), module_(module), writer_(writer), progress_(progress), limit_(limit)
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
        const int got = reader_.next(job.src, job.pts, job.error);
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
        if (!module_.run(job.src, job.dst, job.error)) {
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
        if (!writer_.write(job.dst, job.pts, err))
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
    LoadedModule &module_;
    MediaWriter &writer_;
    Progress &progress_;
    const int64_t limit_;
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
void runThreaded(Stages &stages, const std::vector<std::unique_ptr<FrameJob>> &jobs)
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

std::string sizeText(int w, int h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

// What the module made of the settings, for notes and --verbose.
void reviewDialog(LoadedModule &module, FrameJob &job, const Options &o)
{
    DialogState state;
    std::string err;
    if (!module.readDialog(job.src, job.dst, state, err))
        return;
    for (const DialogAction &a : o.dialog) {
        if (a.isCheck)
            continue;
        const std::string now = state.text(a.id);
        int want = 0, got = 0;
        if (a.id == 1001 && parseInt(a.text, want) && parseInt(now, got) && want != got && !o.quiet)
            fprintf(stderr, "quorvel: note: the module's dialog bounds the harmonics number by the width: %d, not %d\n",
                    got, want);
    }
    if (o.verbose) {
        fprintf(stderr, "quorvel: settings:");
        for (const auto &t : state.texts)
            fprintf(stderr, " [%d]=%s", t.first, t.second.c_str());
        for (const auto &c : state.checks)
            fprintf(stderr, " [%d]=%s", c.first, c.second ? "on" : "off");
        fputc('\n', stderr);
    }
}

}  // namespace

bool interruptRequested()
{
    return interruptFlag.load() != 0;
}

void installInterruptHandlers()
{
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void reportError(const std::string &message)
{
    fprintf(stderr, "quorvel: error: %s\n", message.c_str());
}

int runProcess(const Options &o)
{
    const std::string &input = o.paths[0];
    const std::string &output = o.paths[1];
    std::string err;

    // The output is renamed into place at the end: over the input it would
    // replace it, over a directory it would fail only after all the work.
    struct stat inStat, outStat;
    const bool outExists = stat(output.c_str(), &outStat) == 0;
    if (input == output || (outExists && stat(input.c_str(), &inStat) == 0 && inStat.st_dev == outStat.st_dev &&
                            inStat.st_ino == outStat.st_ino)) {
        reportError("'" + output + "' is the input itself; name another OUTPUT");
        return EXIT_USAGE;
    }
    if (outExists && S_ISDIR(outStat.st_mode)) {
        reportError("'" + output + "' is a directory; name a file in it as OUTPUT");
        return EXIT_USAGE;
    }

    // The module's engine reads its cap when it is first used.
    if (!o.cpu.empty())
        setenv("ZELT_CPU", o.cpu.c_str(), 1);

    MediaReader reader;
    if (!reader.open(input, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    const VideoInfo &info = reader.info();

    std::vector<std::unique_ptr<FrameJob>> jobs;
    for (int i = 0; i < (o.serial ? 1 : JOBS_IN_FLIGHT); i++) {
        jobs.push_back(std::make_unique<FrameJob>());
        if (!jobs.back()->src.allocate(info.width, info.height) || !jobs.back()->dst.allocate(info.width, info.height)) {
            reportError("not enough memory for " + sizeText(info.width, info.height) + " frames");
            return EXIT_FAILURE_RUN;
        }
    }
    FrameJob &job = *jobs[0];

    const std::string modulePath = findModule(o.module);
    setHostProgramName("quorvel");
    LoadedModule module;
    if (!module.load(modulePath, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    if (o.verbose) {
        const CpuLevel cap = o.cpu.empty() ? cpuCapFromEnv() : (CpuLevel)cpuLevelFromName(o.cpu.c_str());
        const CpuLevel have = cpuDetect();
        fprintf(stderr, "quorvel: module %s: \"%s\"; instruction set %s\n", modulePath.c_str(), module.filterName(),
                cpuLevelName(cap < have ? cap : have));
        fprintf(stderr, "quorvel: input %s: %s %s, %s, %d/%d fps\n", input.c_str(), info.formatName.c_str(),
                info.codecName.c_str(), sizeText(info.width, info.height).c_str(), info.frameRate.num,
                info.frameRate.den);
    }
    if (!o.dialog.empty()) {
        if (!module.configure(job.src, job.dst, o.dialog, err)) {
            reportError("cannot apply the settings: " + err);
            return EXIT_FAILURE_RUN;
        }
    }
    if (!o.dialog.empty() || o.verbose)
        reviewDialog(module, job, o);

    MediaWriter writer;
    WriterOptions wopts;
    wopts.codec = o.codec;
    wopts.pixFmt = o.pixFmt;
    wopts.quiet = o.quiet;
    if (!writer.open(output, info, reader.audioStreams(), wopts, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    int64_t limit = o.frames;
    if (writer.singleImage()) {
        if (limit > 1) {
            reportError("'" + output + "' holds one picture; name a numbered sequence such as out_%04d.png for " +
                        std::to_string(limit) + " frames");
            return EXIT_USAGE;
        }
        if (limit < 0 && info.frameCount > 1 && !o.quiet)
            fprintf(stderr, "quorvel: note: '%s' holds one picture: writing the first frame only\n", output.c_str());
        limit = 1;
    }
    if (o.verbose)
        fprintf(stderr, "quorvel: output %s: %s\n", output.c_str(), writer.describe().c_str());

    if (!module.start(job.src, job.dst, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }

    int64_t total = info.frameCount;
    if (limit > 0 && (total < 0 || total > limit))
        total = limit;
    Progress progress(o.quiet, total);
    Stages stages(reader, module, writer, progress, limit);
    if (o.serial)
        runSerial(stages, job);
    else
        runThreaded(stages, jobs);
    if (stages.outcome() == FrameJob::INTERRUPTED) {
        progress.interrupt();
        reportError("interrupted; '" + output + "' not written");
        return EXIT_INTERRUPTED;
    }
    if (stages.outcome() == FrameJob::FAILED) {
        progress.interrupt();
        reportError(stages.message());
        return EXIT_FAILURE_RUN;
    }
    const int64_t done = stages.framesFiltered();
    module.end();
    if (done == 0) {
        progress.interrupt();
        reportError("'" + input + "' holds no video frames");
        return EXIT_FAILURE_RUN;
    }
    if (!writer.finish(err)) {
        progress.interrupt();
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    module.unload();
    char summary[512];
    snprintf(summary, sizeof summary, "%lld frame%s %s in %.1f s (%.1f fps) -> %s", (long long)done,
             done == 1 ? "" : "s", sizeText(info.width, info.height).c_str(), progress.seconds(), progress.fps(),
             output.c_str());
    progress.finish(summary);
    return EXIT_OK;
}
