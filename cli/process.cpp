// The main job: every frame of INPUT through one module instance into OUTPUT.
//
// Frames go decode -> filter -> encode through FrameJobs, a few of them in
// flight: decoding and encoding run on threads of their own, the module on
// this (the calling) thread, which takes the frames one at a time and in
// order, as the editor would hand them. A job carries the audio packets read
// before its frame, so that the output is written in the same order as by a
// single thread.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/media.h"
#include "cli/module_host.h"
#include "cli/progress.h"
#include "engine/dsp.h"

namespace {

volatile sig_atomic_t interruptFlag = 0;

void onSignal(int)
{
    interruptFlag = 1;
}

struct FrameJob {
    HostBitmap src, dst;
    int64_t pts = 0;
    std::vector<AVPacket *> audio;  // read before this frame, copied before it is written
    bool last = false;              // no frame: the end of the input (audio may still come with it)

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

// A queue between two stages. pop waits for an item and returns false once
// the queue is closed (what is left in it is abandoned: closing stops a run).
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

// The first failure of any stage; every stage stops at the next hand-over.
class Failure {
public:
    void set(const std::string &message)
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!failed_) {
            failed_ = true;
            message_ = message;
        }
    }
    bool failed()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return failed_;
    }
    std::string message()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return message_;
    }

private:
    std::mutex lock_;
    bool failed_ = false;
    std::string message_;
};

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
    return interruptFlag != 0;
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
    for (int i = 0; i < JOBS_IN_FLIGHT; i++) {
        jobs.push_back(std::make_unique<FrameJob>());
        if (!jobs.back()->src.allocate(info.width, info.height) || !jobs.back()->dst.allocate(info.width, info.height)) {
            reportError("not enough memory for " + sizeText(info.width, info.height) + " frames");
            return EXIT_FAILURE_RUN;
        }
    }
    FrameJob &job = *jobs[0];

    const std::string modulePath = findModule(o.module);
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

    Channel freeJobs, decoded, filtered;
    for (auto &j : jobs)
        freeJobs.push(j.get());
    Failure failure;
    // Stops every stage: each finds its queue closed at its next hand-over.
    const auto stopAll = [&] {
        freeJobs.close();
        decoded.close();
        filtered.close();
    };

    // Decoding: the reader's audio packets go with the frame that follows
    // them; after the last frame, an end job carries the rest.
    FrameJob *reading = nullptr;
    reader.setPacketSink([&reading](const AVPacket *pkt, std::string &e) {
        AVPacket *copy = av_packet_clone(pkt);
        if (!copy) {
            e = "out of memory";
            return false;
        }
        reading->audio.push_back(copy);
        return true;
    });
    std::thread decoder([&] {
        std::string e;
        for (int64_t n = 0;; n++) {
            FrameJob *j = nullptr;
            if (!freeJobs.pop(j))
                return;
            j->dropAudio();
            j->last = false;
            reading = j;
            const int got = limit >= 0 && n >= limit ? 0 : reader.next(j->src, j->pts, e);
            if (got < 0) {
                failure.set(e);
                stopAll();
                return;
            }
            j->last = got == 0;
            decoded.push(j);
            if (j->last)
                return;
        }
    });

    // Encoding: the audio packets, then the frame, in the order they were read.
    std::thread encoder([&] {
        std::string e;
        FrameJob *j = nullptr;
        while (filtered.pop(j)) {
            for (const AVPacket *p : j->audio)
                if (!writer.copyPacket(p, e)) {
                    failure.set(e);
                    stopAll();
                    return;
                }
            j->dropAudio();
            if (j->last)
                return;
            if (!writer.write(j->dst, j->pts, e)) {
                failure.set(e);
                stopAll();
                return;
            }
            freeJobs.push(j);
        }
    });

    // Filtering, here: one frame at a time, in order.
    int64_t done = 0;
    bool interrupted = false;
    for (FrameJob *j = nullptr; decoded.pop(j);) {
        if (interruptRequested()) {
            interrupted = true;
            stopAll();
            break;
        }
        if (!j->last) {
            if (!module.run(j->src, j->dst, err)) {
                failure.set(err + " at frame " + std::to_string(done + 1));
                stopAll();
                break;
            }
            done++;
            progress.frameDone();
        }
        filtered.push(j);
        if (j->last)
            break;
    }
    decoder.join();
    encoder.join();
    if (interrupted || interruptRequested()) {
        progress.interrupt();
        reportError("interrupted; '" + output + "' not written");
        return EXIT_INTERRUPTED;
    }
    if (failure.failed()) {
        progress.interrupt();
        reportError(failure.message());
        return EXIT_FAILURE_RUN;
    }
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
